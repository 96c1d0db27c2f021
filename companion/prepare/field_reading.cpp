#include "companion/prepare/field_reading.hpp"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <type_traits>

#include "common/errors.hpp"
#include "companion/prepare/grib_source.hpp"
#include "companion/prepare/netcdf_source.hpp"
#include "companion/prepare/regridding.hpp"
#include "companion/prepare/shared_memory.hpp"
#include "companion/prepare/time_interpolation.hpp"

namespace c2m::prepare {

namespace {

static_assert(std::is_trivially_copyable_v<field_summary>);

std::size_t window_points(const window& w) {
  return std::size_t(w.im) * std::size_t(w.jm);
}

// The GRIB files the loads come from, each scanned once before the workers start.
std::map<std::string, grib_file> grib_files(const std::vector<field_load>& loads) {
  std::map<std::string, std::vector<const source_field*>> wanted;
  for (const field_load& l : loads)
    for (const source_field* f : {l.field, l.later, l.land})
      if (f && f->variable.empty()) wanted[f->file].push_back(f);
  std::map<std::string, grib_file> files;
  for (const auto& [path, fields] : wanted)
    files.emplace(path, check_inventory_still_holds(path, fields));
  return files;
}

// A load's summary as a worker reported it, checked to describe its window.
field_summary take_summary(const field_load& l, std::span<const unsigned char> result) {
  const std::size_t n = window_points(*l.cut);
  if (result.size() != sizeof(field_summary))
    throw run_error(l.field->file + ": " + l.field->origin +
                    ": the decoding process gave a malformed reply");
  field_summary sum;
  std::memcpy(&sum, result.data(), sizeof sum);
  if (sum.holes > n || (sum.holes > 0 && sum.first_hole >= n) ||
      (sum.refused && sum.refused_at >= n))
    throw run_error(l.field->file + ": " + l.field->origin +
                    ": the decoding process gave a malformed summary");
  return sum;
}

}  // namespace

void read_fields(const std::vector<field_load>& loads, const decode_limits& limits,
                 bool allow_implausible, const worker_ready& ready,
                 const std::function<void(std::size_t)>& done) {
  for (const field_load& l : loads)
    if (!shared_memory::holds(l.out, window_points(*l.cut) * sizeof(float)))
      throw run_error(
          "conv2model-prepare: a field's place is not memory shared with the decoding processes");
  const std::map<std::string, grib_file> files = grib_files(loads);
  grib_memory memory;  // each worker's copy, once it is one (NetCDF uses its values)
  std::vector<double> earlier, blended;  // the two times of an interpolated field
  std::vector<double> carried;           // with --grid, the values on the target grid
  const auto read = [&](const source_field& f) {
    return f.variable.empty() ? grib_values(files.at(f.file), f, memory)
                              : netcdf_values(f, memory.values);
  };
  run_in_workers(
      loads.size(), sizeof(field_summary), limits,
      [&](std::size_t k, std::span<unsigned char> slot) {
        const field_load& l = loads[k];
        const std::size_t n = window_points(*l.cut);
        read_values v = read(*l.field);
        if (l.later) {
          // The earlier values move aside (their storage with them) while the later are read.
          std::swap(earlier, memory.values);
          v = interpolate(v, read(*l.later), l.after, l.span, blended);
        }
        std::size_t nearest = 0;
        if (l.cut->regridded)
          v = l.cut->regridded->carry(*l.field, v, l.land, read, carried, nearest);
        summarizer sum(field_index(l.field->kind), allow_implausible);
        {
          // The decoders ran with every record read-only; only placing writes.
          const shared_memory::writable open(l.out, n * sizeof(float));
          place(v.values, v.missing, *l.cut, l.field->kind, l.out, sum);
        }
        field_summary told = sum.summary();
        told.nearest_land = nearest;
        std::memcpy(slot.data(), &told, sizeof(field_summary));
        return sizeof(field_summary);
      },
      [&](std::size_t k, std::span<const unsigned char> result) {
        *loads[k].summary = take_summary(loads[k], result);
      },
      [&](std::size_t k) {
        const auto where = [&](const source_field& f) {
          if (f.variable.empty()) return files.at(f.file).where(std::size_t(f.message));
          return f.file + ": variable " + f.variable;
        };
        const field_load& l = loads[k];
        return l.later ? where(*l.field) + " or " + where(*l.later) : where(*l.field);
      },
      ready, done);
}

}  // namespace c2m::prepare

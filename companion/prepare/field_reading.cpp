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

// The same window over values already cut and in its order.
window in_order(const window& cut) {
  window w = cut;
  w.row.resize(std::size_t(cut.jm));
  w.col.resize(std::size_t(cut.im));
  for (std::size_t j = 0; j < w.row.size(); ++j) w.row[j] = j * w.col.size();
  for (std::size_t i = 0; i < w.col.size(); ++i) w.col[i] = i;
  return w;
}

// The window's values of `v` into `out` in the window's order, then v's missing value.
void gather(const read_values& v, const window& cut, double* out) {
  // Every reader checks its values against the grid; this keeps a fault there from
  // reading past them.
  if (!cut.row.empty() && !cut.col.empty() &&
      *std::max_element(cut.row.begin(), cut.row.end()) +
              *std::max_element(cut.col.begin(), cut.col.end()) >=
          v.values.size())
    throw run_error("the values read do not cover the window");
  for (const std::size_t r : cut.row)
    for (const std::size_t c : cut.col) *out++ = v.values[r + c];
  *out = v.missing;
}

}  // namespace

void read_fields(const std::vector<field_load>& loads, const decode_limits& limits,
                 bool allow_implausible, const worker_ready& ready,
                 const std::function<void(std::size_t)>& done) {
  std::map<const window*, window> dense;  // of each cut, for values in the window's order
  for (const field_load& l : loads) {
    const std::size_t n = window_points(*l.cut);
    if (!shared_memory::holds(l.out, n * sizeof(float)))
      throw run_error(
          "conv2model-prepare: a field's place is not memory shared with the decoding processes");
    for (const kept_values& k : {l.keep, l.keep_later})
      if (k.at && !shared_memory::holds(k.at, (n + kept_tail) * sizeof(double)))
        throw run_error(
            "conv2model-prepare: a field kept is not memory shared with the decoding processes");
    if (!dense.count(l.cut)) dense.emplace(l.cut, in_order(*l.cut));
  }
  const std::map<std::string, grib_file> files = grib_files(loads);
  grib_memory memory;  // each worker's copy, once it is one (NetCDF uses its values)
  std::vector<double> earlier, later, blended;  // window values of an interpolated field
  std::vector<double> carried;                  // with --grid, the values on the target grid
  const auto read = [&](const source_field& f) {
    return f.variable.empty() ? grib_values(files.at(f.file), f, memory)
                              : netcdf_values(f, memory.values);
  };
  // A field's values as read, or with --grid carried onto the target grid (soil with the
  // land-sea mask `land`), counting the points that took the nearest land in `nearest`.
  const auto values_of = [&](const source_field& f, const field_load& l, std::size_t& nearest) {
    const read_values v = read(f);
    if (!l.cut->regridded) return v;
    return l.cut->regridded->carry(f, v, l.land, read, carried, nearest);
  };
  // A field's window in the window's order, then its missing value: as kept, or read
  // (and kept, when it is to be, with the count of its nearest land points).
  const auto window_of = [&](const source_field& f, const kept_values& k, const field_load& l,
                             std::size_t& nearest, std::vector<double>& mine) -> read_values {
    const window& cut = *l.cut;
    const std::size_t n = window_points(cut);
    if (k.at && k.filled) {
      nearest = std::max(nearest, static_cast<std::size_t>(k.at[n + 1]));
      return {{k.at, n}, k.at[n]};
    }
    std::size_t mine_nearest = 0;
    const read_values v = values_of(f, l, mine_nearest);
    nearest = std::max(nearest, mine_nearest);
    if (!k.at) {
      mine.resize(n + 1);
      gather(v, cut, mine.data());
      return {{mine.data(), n}, mine[n]};
    }
    const shared_memory::writable open(k.at, (n + kept_tail) * sizeof(double));
    gather(v, cut, k.at);
    k.at[n + 1] = static_cast<double>(mine_nearest);
    return {{k.at, n}, k.at[n]};
  };
  run_in_workers(
      loads.size(), sizeof(field_summary), limits,
      [&](std::size_t k, std::span<unsigned char> slot) {
        const field_load& l = loads[k];
        const std::size_t n = window_points(*l.cut);
        std::size_t nearest = 0;
        summarizer sum(field_index(l.field->kind), allow_implausible);
        if (!l.later && !l.keep.at) {
          const read_values v = values_of(*l.field, l, nearest);
          // The decoders ran with every record read-only; only placing writes.
          const shared_memory::writable open(l.out, n * sizeof(float));
          place(v.values, v.missing, *l.cut, l.field->kind, l.out, sum);
        } else {
          read_values v = window_of(*l.field, l.keep, l, nearest, earlier);
          // The later time's nearest land points are mostly the earlier's: counted once.
          if (l.later)
            v = interpolate(v, window_of(*l.later, l.keep_later, l, nearest, later), l.after,
                            l.span, blended);
          const shared_memory::writable open(l.out, n * sizeof(float));
          place(v.values, v.missing, dense.at(l.cut), l.field->kind, l.out, sum);
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

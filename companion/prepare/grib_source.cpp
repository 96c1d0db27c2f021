#include "companion/prepare/grib_source.hpp"

#include <eccodes.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <type_traits>

#include "common/errors.hpp"
#include "companion/prepare/decode_workers.hpp"
#include "companion/prepare/grib_keys.hpp"
#include "companion/prepare/grib_reader.hpp"
#include "companion/prepare/inventory_slot.hpp"
#include "companion/prepare/soil_layers.hpp"
#include "companion/regrid/grib_grid.hpp"

namespace c2m::prepare {

namespace {

// Marks the points a bitmap leaves out; no field of the analysis comes near it.
constexpr double bitmap_missing = 9.999e20;

// Room for one inventory entry in a worker's slot: its texts are short.
constexpr std::size_t inventory_entry_bytes = 64 * 1024;

struct handle_deleter {
  void operator()(codes_handle* h) const { codes_handle_delete(h); }
};
using handle_ptr = std::unique_ptr<codes_handle, handle_deleter>;

// A handle on field k of the file over `bytes`, read into them now and checked by the
// scan. The bytes are the caller's, reused from message to message (fresh memory for
// each costs a page fault per 4 KiB): they must outlive the handle.
handle_ptr open_field(const grib_file& file, std::size_t k, std::vector<unsigned char>& bytes) {
  file.message(k, bytes);
  handle_ptr h(codes_handle_new_from_message(nullptr, bytes.data(), bytes.size()));
  if (!h) throw run_error(file.where(k) + ": cannot be decoded" + decoder_said());
  return h;
}

// The same for reading keys only: for GRIB 2 without its data, which the inventory of
// a large file would otherwise read in full.
handle_ptr open_headers(const grib_file& file, std::size_t k, std::vector<unsigned char>& bytes) {
  handle_ptr h(file.headers(k, bytes)
                   ? codes_handle_new_from_partial_message(nullptr, bytes.data(), bytes.size())
                   : codes_handle_new_from_message(nullptr, bytes.data(), bytes.size()));
  if (!h) throw run_error(file.where(k) + ": cannot be decoded" + decoder_said());
  return h;
}

// "GRIB 2 0/2/2" or "GRIB 1 table 2 code 33", with the centre where the code is local.
std::string code_text(const message_code& code) {
  const bool local = companion::is_local_code(
      static_cast<int>(code.edition),
      static_cast<int>(code.edition == 1 ? code.category : code.discipline),
      static_cast<int>(code.edition == 1 ? 0 : code.category), static_cast<int>(code.number));
  const std::string centre = local ? " of centre " + std::to_string(code.centre) : "";
  if (code.edition == 1)
    return "GRIB 1 table " + std::to_string(code.category) + " code " +
           std::to_string(code.number) + centre;
  return "GRIB 2 " + std::to_string(code.discipline) + "/" + std::to_string(code.category) + "/" +
         std::to_string(code.number) + centre;
}

// A soil field's depths, and for water given as a mass per area the divisor that makes
// it a volume fraction: the density of water times the layer's thickness.
void take_depths(source_field& s, const level_info& level) {
  s.soil = {level.top, level.bottom, level.bottom_missing, !level.depths_unknown};
  if (s.kind.soil_water_mass && !s.soil.node && s.soil.known && level.bottom > level.top)
    s.kind.divisor *= level.bottom - level.top;
  if (!s.kind.soil_layer_by_depth || s.soil.node || !s.soil.known) return;
  // A layer of GFS's or ECMWF's four keeps its place; another layering stays unresolved,
  // listed by the inventory and reported with a missing soil layer.
  if (const std::optional<int> layer = soil_layer(level.top, level.bottom);
      layer && !s.kind.soil_water_mass) {
    s.kind.surface += 2 * (*layer - 1);
    s.kind.soil_layer_by_depth = false;
  }
}

// The field a message holds; one the analysis does not need is kept, marked unused, for
// the inventory.
source_field inventory_entry(const grib_keys& k, const std::string& path, std::int64_t n,
                             bool any_grid) {
  message_code code = decode_code(k);
  const level_info level = decode_level(k, code.edition, code.centre);
  code.level = level.kind;
  const std::optional<field_kind> kind = grib_field(code);

  source_field s;
  s.file = path;
  s.message = n;
  s.used = kind.has_value();
  // The short name only helps a reader of the inventory; ecCodes may not know it.
  s.origin = "message " + std::to_string(n + 1) + " (" +
             k.optional_string("shortName").value_or("unknown") + ", " + code_text(code) + ", " +
             level.text + ")";
  const message_time t = decode_time(k);
  s.valid_time = t.valid;
  s.reference_time = t.reference;
  s.member = t.member;
  // An accumulation or mean over a span is written at its time as it is; a series at an
  // interval refuses to interpolate it.
  if (const auto step = k.optional_string("stepType"); step && *step != "instant")
    s.time_span = *step;
  if (!kind) return s;
  s.kind = *kind;
  s.level_hpa = level.hpa;
  if (s.kind.surface >= k_soil_t1 && !s.kind.soil_layer_by_depth)
    s.soil = depths_of_numbered_layer(s.kind);
  else if (level.kind == level_kind::soil)
    take_depths(s, level);
  const bool wind =
      !s.kind.surface && (s.kind.upper == upper_field::ua || s.kind.upper == upper_field::va);
  if (any_grid) {
    // Every grid is interpolated: the regridding locates it (and refuses what it cannot).
    s.grid_id = regrid::grib_grid_identity(k.handle());
    s.winds_along_grid = wind && regrid::grib_winds_along_grid(k.handle());
    if (k.optional_string("gridType").value_or("") == "regular_ll")
      s.grid = decode_grid(grib_keys(k.handle(), path + ": " + s.origin));
    return s;
  }
  s.grid = decode_grid(grib_keys(k.handle(), path + ": " + s.origin));
  // Winds along the axes of a projected grid keep that flag when CDO regrids them without
  // turning them: on a latitude/longitude grid they would pass for east and north.
  if (wind && k.optional_long("uvRelativeToGrid").value_or(0) == 1)
    throw run_error(path + ": " + s.origin +
                    " is a wind component along the grid's own axes (uvRelativeToGrid=1), as "
                    "on a projected grid or one regridded from it; conv2model-prepare turns "
                    "them to east and north with --grid D, interpolating onto a regular grid "
                    "of D degrees");
  return s;
}

}  // namespace

std::vector<source_field> grib_inventory(const std::string& path, const decode_limits& limits,
                                         bool any_grid) {
  const grib_file file(path);
  const std::size_t n = file.fields().size();
  if (n == 0) throw run_error(path + ": not a GRIB or NetCDF file (no GRIB message found)");
  std::vector<source_field> entries(n);
  std::vector<unsigned char> bytes;  // each worker's copy, once it is one
  std::set<std::string> located;     // the grids each worker has located
  run_in_workers(
      n, inventory_entry_bytes, limits,
      [&](std::size_t k, std::span<unsigned char> slot) {
        handle_ptr h = open_headers(file, k, bytes);
        const source_field s =
            inventory_entry(grib_keys(h.get(), file.where(k)), path, std::int64_t(k), any_grid);
        // Each grid is located here first, whole, so that ecCodes and PROJ meet its keys
        // in a worker before the parent builds its weights from the same bytes.
        if (any_grid && s.used && located.insert(s.grid_id).second) {
          h = open_field(file, k, bytes);
          regrid::grib_grid(h.get(), path + ": " + s.origin);
        }
        return put_field(s, slot);
      },
      [&](std::size_t k, std::span<const unsigned char> r) { entries[k] = take_field(r, path); },
      [&](std::size_t k) { return file.where(k); });
  return entries;
}

grib_file check_inventory_still_holds(const std::string& path,
                                      const std::vector<const source_field*>& fields) {
  grib_file file(path);
  for (const source_field* f : fields)
    if (f->message < 0 || std::size_t(f->message) >= file.fields().size())
      throw run_error(path + ": the file has changed since its inventory (no message " +
                      std::to_string(f->message + 1) + " now)");
  return file;
}

read_values grib_values(const grib_file& file, const source_field& field, grib_memory& memory) {
  const handle_ptr handle =
      open_field(file, static_cast<std::size_t>(field.message), memory.message);
  codes_handle* h = handle.get();
  const std::string what = file.path() + ": " + field.origin;
  std::size_t count = 0;
  if (const int err = codes_get_size(h, "values", &count))
    throw run_error(what + ": cannot read the key values: " + codes_get_error_message(err));
  // A field interpolated (--grid) is checked against its located grid instead.
  if (field.grid_id.empty() && count != field.grid.points())
    throw run_error(what + " holds " + std::to_string(count) + " values for a grid of " +
                    std::to_string(field.grid.points()) + " points");
  if (const int err = codes_set_double(h, "missingValue", bitmap_missing))
    throw run_error(what + ": cannot set the key missingValue: " + codes_get_error_message(err));
  memory.values.resize(count);
  if (const int err = codes_get_double_array(h, "values", memory.values.data(), &count))
    throw run_error(what + ": cannot decode the values: " + codes_get_error_message(err) +
                    decoder_said());
  return {memory.values, bitmap_missing};
}

}  // namespace c2m::prepare

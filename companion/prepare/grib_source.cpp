#include "companion/prepare/grib_source.hpp"

#include <eccodes.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>

#include "common/errors.hpp"
#include "companion/prepare/grib_keys.hpp"

namespace c2m::prepare {

namespace {

// Marks the points a bitmap leaves out; no field of the analysis comes near it.
constexpr double bitmap_missing = 9.999e20;

struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

struct handle_deleter {
  void operator()(codes_handle* h) const { codes_handle_delete(h); }
};
using handle_ptr = std::unique_ptr<codes_handle, handle_deleter>;

file_ptr open_file(const std::string& path) {
  codes_grib_multi_support_on(nullptr);
  file_ptr f(std::fopen(path.c_str(), "rb"));
  if (!f) throw run_error(os_error(path, "cannot open input file"));
  // Forget what the multi-field reader may remember of an earlier file at this address.
  codes_grib_multi_support_reset_file(nullptr, f.get());
  return f;
}

// The next field of the file. NCEP puts u and v into one GRIB 2 message: with
// multi-field support each field comes as a handle of its own.
handle_ptr next_handle(std::FILE* f, const std::string& path, std::int64_t number) {
  int err = 0;
  handle_ptr h(codes_handle_new_from_file(nullptr, f, PRODUCT_GRIB, &err));
  if (err != 0)
    throw run_error(path + ": message " + std::to_string(number + 1) +
                    " cannot be decoded: " + codes_get_error_message(err));
  return h;
}

// "GRIB 2 0/2/2" or "GRIB 1 table 2 code 33".
std::string code_text(const grib_code& code) {
  if (code.edition == 1)
    return "GRIB 1 table " + std::to_string(code.category) + " code " + std::to_string(code.number);
  return "GRIB 2 " + std::to_string(code.discipline) + "/" + std::to_string(code.category) + "/" +
         std::to_string(code.number);
}

// The field a message holds, or nothing when the analysis does not need it.
std::optional<source_field> inventory_entry(const grib_keys& k, const std::string& path,
                                            std::int64_t n) {
  const grib_code code = decode_code(k);
  const level_info level = decode_level(k, code.edition);
  grib_code at_level = code;
  at_level.level = level.kind;
  std::optional<field_kind> kind = grib_field(at_level);
  if (!kind) return std::nullopt;

  source_field s;
  s.file = path;
  s.message = n;
  s.kind = *kind;
  s.level_hpa = level.hpa;
  // The short name only helps a reader of the inventory; ecCodes may not know it.
  s.origin = "message " + std::to_string(n + 1) + " (" +
             k.optional_string("shortName").value_or("unknown") + ", " + code_text(code) + ", " +
             level_text(level) + ")";
  if (kind->soil_layer_by_depth) {
    // A layer of another model's layering stays unresolved: the inventory lists it, and a
    // missing soil layer is reported with it.
    const std::optional<int> layer =
        level.bottom_missing ? std::nullopt : soil_layer(level.top, level.bottom);
    if (layer) {
      s.kind.surface += 2 * (*layer - 1);
      s.kind.soil_layer_by_depth = false;
    }
  }
  s.grid = decode_grid(grib_keys(k.handle(), path + ": " + s.origin));
  // Winds along the axes of a projected grid keep that flag when CDO regrids them without
  // turning them: on a latitude/longitude grid they would pass for east and north.
  const bool wind =
      !s.kind.surface && (s.kind.upper == upper_field::uw || s.kind.upper == upper_field::vw);
  if (wind && k.optional_long("uvRelativeToGrid").value_or(0) == 1)
    throw run_error(path + ": " + s.origin +
                    " is a wind component along the grid's own axes (uvRelativeToGrid=1), as "
                    "on a projected grid or one regridded from it; turn u and v to east and "
                    "north first (README shows how for a Lambert grid)");
  const message_time t = decode_time(k);
  s.valid_time = t.valid;
  s.reference_time = t.reference;
  s.member = t.member;
  return s;
}

}  // namespace

std::vector<source_field> grib_inventory(const std::string& path) {
  file_ptr f = open_file(path);
  std::vector<source_field> found;
  std::int64_t n = 0;
  for (handle_ptr h = next_handle(f.get(), path, n); h; h = next_handle(f.get(), path, ++n)) {
    const grib_keys k(h.get(), path + ": message " + std::to_string(n + 1));
    if (std::optional<source_field> s = inventory_entry(k, path, n)) found.push_back(std::move(*s));
  }
  if (n == 0) throw run_error(path + ": not a GRIB or NetCDF file (no GRIB message found)");
  return found;
}

void grib_read(const std::string& path, const std::vector<grib_load>& loads) {
  file_ptr f = open_file(path);
  std::vector<double> values;
  std::size_t next = 0;
  for (std::int64_t n = 0; next < loads.size(); ++n) {
    handle_ptr h = next_handle(f.get(), path, n);
    if (!h) throw run_error(path + ": the file ended before message " + std::to_string(n + 1));
    while (next < loads.size() && loads[next].field->message == n) {
      const grib_load& l = loads[next];
      const std::string what = path + ": " + l.field->origin;
      std::size_t count = 0;
      if (const int err = codes_get_size(h.get(), "values", &count))
        throw run_error(what + ": cannot read the key values: " + codes_get_error_message(err));
      if (count != l.field->grid.points())
        throw run_error(what + " holds " + std::to_string(count) + " values for a grid of " +
                        std::to_string(l.field->grid.points()) + " points");
      if (const int err = codes_set_double(h.get(), "missingValue", bitmap_missing))
        throw run_error(what +
                        ": cannot set the key missingValue: " + codes_get_error_message(err));
      values.resize(count);
      const int err = codes_get_double_array(h.get(), "values", values.data(), &count);
      if (err != 0)
        throw run_error(what + ": cannot decode the values: " + codes_get_error_message(err));
      place(values, bitmap_missing, *l.cut, l.field->kind, l.out);
      ++next;
    }
  }
}

}  // namespace c2m::prepare

#include "companion/prepare/grib_source.hpp"

#include <eccodes.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>

#include "common/errors.hpp"

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

long get_long(codes_handle* h, const char* key, long otherwise = 0) {
  long v = 0;
  return codes_get_long(h, key, &v) == 0 ? v : otherwise;
}

double get_double(codes_handle* h, const char* key, double otherwise = 0) {
  double v = 0;
  return codes_get_double(h, key, &v) == 0 ? v : otherwise;
}

std::string get_string(codes_handle* h, const char* key) {
  char buf[256] = {};
  std::size_t len = sizeof buf;
  return codes_get_string(h, key, buf, &len) == 0 ? std::string(buf) : std::string();
}

bool key_missing(codes_handle* h, const char* key) {
  int err = 0;
  return codes_is_missing(h, key, &err) == 1 || err != 0;
}

// A fixed surface of GRIB 2 in its unit (Pa for pressure, m for depth).
double surface_value(codes_handle* h, const char* factor, const char* value) {
  if (key_missing(h, value)) return 0;
  const long f = key_missing(h, factor) ? 0 : get_long(h, factor);
  return double(get_long(h, value)) * std::pow(10.0, double(-f));
}

struct level_info {
  level_kind kind = level_kind::other;
  double hpa = 0;              // isobaric
  double top = 0, bottom = 0;  // soil layer, metres
};

level_info decode_level(codes_handle* h, long edition) {
  level_info l;
  if (edition == 1) {
    switch (get_long(h, "indicatorOfTypeOfLevel", -1)) {
      case 100:
        l.kind = level_kind::isobaric;
        l.hpa = double(get_long(h, "level"));
        break;
      case 1:
        l.kind = level_kind::surface;
        break;
      case 102:
        l.kind = level_kind::mean_sea;
        break;
      case 112:
        l.kind = level_kind::soil_layer;
        l.top = double(get_long(h, "topLevel")) / 100.0;
        l.bottom = double(get_long(h, "bottomLevel")) / 100.0;
        break;
      default:
        break;
    }
    return l;
  }
  const long first = get_long(h, "typeOfFirstFixedSurface", -1);
  switch (first) {
    case 100:
      l.kind = level_kind::isobaric;
      l.hpa = surface_value(h, "scaleFactorOfFirstFixedSurface", "scaledValueOfFirstFixedSurface") /
              100.0;
      break;
    case 1:
      l.kind = level_kind::surface;
      break;
    case 101:
      l.kind = level_kind::mean_sea;
      break;
    case 106:
      l.kind = level_kind::soil_layer;
      l.top = surface_value(h, "scaleFactorOfFirstFixedSurface", "scaledValueOfFirstFixedSurface");
      l.bottom =
          surface_value(h, "scaleFactorOfSecondFixedSurface", "scaledValueOfSecondFixedSurface");
      break;
    default:
      break;
  }
  return l;
}

std::string grid_name(const std::string& type) {
  if (type == "regular_gg" || type == "reduced_gg") return "a Gaussian grid (" + type + ")";
  if (type == "lambert") return "a Lambert conformal grid (" + type + ")";
  if (type == "rotated_ll") return "a rotated latitude/longitude grid (" + type + ")";
  if (type == "sh") return "spherical harmonics (" + type + ")";
  return "a grid of type " + (type.empty() ? std::string("unknown") : type);
}

latlon_grid decode_grid(codes_handle* h, const std::string& what) {
  const std::string type = get_string(h, "gridType");
  if (type != "regular_ll")
    throw run_error(what + " is on " + grid_name(type) +
                    "; conv2model-prepare reads regular latitude/longitude grids only");
  latlon_grid g;
  g.ni = get_long(h, "Ni");
  g.nj = get_long(h, "Nj");
  g.lat_first = get_double(h, "latitudeOfFirstGridPointInDegrees");
  g.lon_first = get_double(h, "longitudeOfFirstGridPointInDegrees");
  const double lat_last = get_double(h, "latitudeOfLastGridPointInDegrees");
  const double lon_last = get_double(h, "longitudeOfLastGridPointInDegrees");
  g.i_negative = get_long(h, "iScansNegatively") != 0;
  g.j_positive = get_long(h, "jScansPositively") != 0;
  g.j_consecutive = get_long(h, "jPointsAreConsecutive") != 0;
  if (get_long(h, "alternativeRowScanning") != 0)
    throw run_error(what + " scans alternate rows in opposite directions, which is not supported");
  if (g.ni < 2 || g.nj < 2)
    throw run_error(what + ": the grid has " + std::to_string(g.ni) + " x " + std::to_string(g.nj) +
                    " points; two or more in each direction are needed");
  // The increments from the corner points: exact where the coded increments are
  // rounded to millidegrees, and there where the increments are not given.
  double span_i = g.i_negative ? g.lon_first - lon_last : lon_last - g.lon_first;
  while (span_i <= 0) span_i += 360.0;
  g.di = span_i / double(g.ni - 1);
  g.dj = std::fabs(lat_last - g.lat_first) / double(g.nj - 1);
  if (!(g.dj > 0)) throw run_error(what + ": the grid's first and last latitudes are equal");
  if ((lat_last > g.lat_first) != g.j_positive)
    throw run_error(what + ": the grid's corner latitudes contradict its scanning flags");
  return g;
}

std::string time_text(codes_handle* h) {
  const long date = get_long(h, "validityDate");
  const long time = get_long(h, "validityTime");
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04ld-%02ld-%02ldT%02ld:%02ldZ", date / 10000, date / 100 % 100,
                date % 100, time / 100, time % 100);
  return buf;
}

std::string level_text(const level_info& l) {
  char buf[64];
  switch (l.kind) {
    case level_kind::isobaric:
      std::snprintf(buf, sizeof buf, "%g hPa", l.hpa);
      break;
    case level_kind::surface:
      return "surface";
    case level_kind::mean_sea:
      return "mean sea level";
    case level_kind::soil_layer:
      std::snprintf(buf, sizeof buf, "%g-%g m below ground", l.top, l.bottom);
      break;
    default:
      return "other";
  }
  return buf;
}

}  // namespace

std::vector<source_field> grib_inventory(const std::string& path) {
  file_ptr f = open_file(path);
  std::vector<source_field> found;
  std::int64_t n = 0;
  for (handle_ptr h = next_handle(f.get(), path, n); h; h = next_handle(f.get(), path, ++n)) {
    grib_code code;
    code.edition = get_long(h.get(), "edition");
    if (code.edition == 1) {
      code.category = get_long(h.get(), "table2Version");
      code.number = get_long(h.get(), "indicatorOfParameter");
    } else {
      code.discipline = get_long(h.get(), "discipline");
      code.category = get_long(h.get(), "parameterCategory");
      code.number = get_long(h.get(), "parameterNumber");
    }
    const level_info level = decode_level(h.get(), code.edition);
    code.level = level.kind;
    std::optional<field_kind> kind = grib_field(code);
    if (!kind) continue;

    source_field s;
    s.file = path;
    s.message = n;
    s.kind = *kind;
    s.level_hpa = level.hpa;
    const std::string code_text =
        code.edition == 1 ? "GRIB 1 table " + std::to_string(code.category) + " code " +
                                std::to_string(code.number)
                          : "GRIB 2 " + std::to_string(code.discipline) + "/" +
                                std::to_string(code.category) + "/" + std::to_string(code.number);
    s.origin = "message " + std::to_string(n + 1) + " (" + get_string(h.get(), "shortName") + ", " +
               code_text + ", " + level_text(level) + ")";
    if (kind->soil_layer_by_depth) {
      const std::optional<int> layer = soil_layer(level.top, level.bottom);
      if (!layer) continue;  // a soil layer of another model's layering
      s.kind.surface += 2 * (*layer - 1);
      s.kind.soil_layer_by_depth = false;
    }
    s.grid = decode_grid(h.get(), path + ": " + s.origin);
    s.valid_time = time_text(h.get());
    found.push_back(std::move(s));
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
      codes_get_size(h.get(), "values", &count);
      if (count != l.field->grid.points())
        throw run_error(what + " holds " + std::to_string(count) + " values for a grid of " +
                        std::to_string(l.field->grid.points()) + " points");
      codes_set_double(h.get(), "missingValue", bitmap_missing);
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

#include "companion/prepare/netcdf_source.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <vector>

#include "common/errors.hpp"
#include "companion/common/netcdf_file.hpp"
#include "companion/prepare/netcdf_header.hpp"
#include "companion/prepare/plausibility.hpp"
#include "companion/prepare/soil_layers.hpp"
#include "companion/prepare/valid_time.hpp"

namespace c2m::prepare {

namespace {

using c2m::companion::netcdf_file;

enum class axis { none, time, level, depth, lat, lon };

bool one_of(const std::string& s, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return s == n; });
}

// What a dimension is, from its coordinate variable (or, lacking one, its name).
axis axis_of(const netcdf_file& nc, const std::string& dim) {
  std::string standard, units;
  const int var = nc.find_var(dim);
  if (var >= 0) {
    standard = nc.text_or(var, "standard_name", "");
    units = nc.text_or(var, "units", "");
  }
  if (standard == "latitude" || units == "degrees_north" || one_of(dim, {"lat", "latitude"}))
    return axis::lat;
  if (standard == "longitude" || units == "degrees_east" || one_of(dim, {"lon", "longitude"}))
    return axis::lon;
  if (standard == "air_pressure" ||
      one_of(dim, {"level", "pressure_level", "plev", "isobaricInhPa", "lev"}))
    return axis::level;
  // Soil depths below the surface, as CDO writes GRIB's layers (bounds give the layers).
  if (var >= 0 && (dim == "depth" || nc.text_or(var, "long_name", "") == "depth_below_land" ||
                   (standard == "depth" && nc.text_or(var, "positive", "") == "down")))
    return axis::depth;
  if (standard == "time" || one_of(dim, {"time", "valid_time"}) ||
      units.find(" since ") != std::string::npos)
    return axis::time;
  return axis::none;
}

std::vector<double> coordinate(const netcdf_file& nc, const std::string& dim, std::size_t length) {
  const int var = nc.var(dim);
  return nc.read_doubles(var, {0}, {length});
}

// One regular axis: first value and step, or an error naming the file and the axis.
void regular_axis(const std::vector<double>& x, const std::string& what, double& first,
                  double& step) {
  if (x.size() < 2) throw run_error(what + " has fewer than two points");
  first = x[0];
  step = (x.back() - x[0]) / double(x.size() - 1);
  for (std::size_t k = 1; k < x.size(); ++k)
    if (!(std::fabs(x[k] - x[k - 1] - step) <= 1e-3 * std::fabs(step)))
      throw run_error(what +
                      " is not evenly spaced (a Gaussian or irregular grid); "
                      "conv2model-prepare reads regular latitude/longitude grids only");
}

// "2011-01-15T12:00Z" from a CF time value, or the raw value when its units are not
// "UNIT since DATE".
std::string time_text(double value, const std::string& units) {
  long y = 0, mo = 0, d = 0, h = 0, mi = 0;
  char unit[32] = {};
  const int got =
      std::sscanf(units.c_str(), "%31s since %ld-%ld-%ld %ld:%ld", unit, &y, &mo, &d, &h, &mi);
  double seconds = 0;
  const std::string u = unit;
  if (one_of(u, {"seconds", "second", "s"})) seconds = 1;
  if (one_of(u, {"minutes", "minute"})) seconds = 60;
  if (one_of(u, {"hours", "hour", "h"})) seconds = 3600;
  if (one_of(u, {"days", "day", "d"})) seconds = 86400;
  // A reference date or a time outside the years 1 to 9999 has no date to show (nor
  // one that fits the integer arithmetic below): the raw value is shown.
  const bool sane = got >= 4 && seconds != 0 && std::isfinite(value) && y >= 1 && y <= 9999 &&
                    mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h >= 0 && h <= 24 && mi >= 0 &&
                    mi <= 60;
  const double t = sane ? double(days_from_civil(y, mo, d)) * 86400 + double(h * 3600 + mi * 60) +
                              std::round(value * seconds)
                        : 0;
  if (!sane || !(t >= -62135596800.0 && t < 253402300800.0)) {  // 0001-01-01 to 10000-01-01
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g %s", value, units.c_str());
    return buf;
  }
  return valid_text(static_cast<std::int64_t>(std::floor(t / 60)));
}

// The method of a CF cell_methods entry for time ("time: mean" gives "mean"), or
// nothing for a value at an instant ("time: point", or no entry for time).
std::string time_method(const std::string& cell_methods) {
  const std::size_t at = cell_methods.find("time:");
  if (at == std::string::npos) return "";
  const std::size_t from = cell_methods.find_first_not_of(' ', at + 5);
  if (from == std::string::npos) return "";
  const std::string method =
      cell_methods.substr(from, cell_methods.find_first_of(" (", from) - from);
  return method == "point" ? "" : method;
}

// Pressure-like units to hPa.
double to_hpa_divisor(const std::string& units) {
  if (one_of(units, {"Pa", "pascal", "Pascal"})) return 100.0;
  return 1.0;  // hPa, mbar, millibars
}

// The fill value of a variable without a _FillValue attribute: netCDF's default for its type.
double default_fill(nc_type type) {
  switch (type) {
    case NC_BYTE:
      return NC_FILL_BYTE;
    case NC_SHORT:
      return NC_FILL_SHORT;
    case NC_INT:
      return NC_FILL_INT;
    case NC_FLOAT:
      return NC_FILL_FLOAT;
    case NC_DOUBLE:
      return NC_FILL_DOUBLE;
    default:
      return std::numeric_limits<double>::quiet_NaN();
  }
}

// The axes of a variable of the analysis: latitude and longitude last (either order),
// at most one pressure or depth axis, time, and others (which must be of length one).
struct var_axes {
  std::vector<netcdf_file::dim_info> dims;
  std::vector<axis> kinds;
  bool lat_lon = false;  // latitude before longitude
  int level_axis = -1;   // pressure or soil depth
  int time_axis = -1;
  std::size_t lat_dim() const { return dims.size() - (lat_lon ? 2 : 1); }
  std::size_t lon_dim() const { return dims.size() - (lat_lon ? 1 : 2); }
  bool on(axis a) const { return level_axis >= 0 && kinds[std::size_t(level_axis)] == a; }
};

std::optional<var_axes> axes_of(const netcdf_file& nc, int var, const std::string& name) {
  var_axes a;
  a.dims = nc.var_dims(var);
  const std::size_t n = a.dims.size();
  if (n < 2) return std::nullopt;
  if (std::any_of(a.dims.begin(), a.dims.end(), [&](const auto& d) { return d.name == name; }))
    return std::nullopt;  // a coordinate variable
  for (const auto& d : a.dims) a.kinds.push_back(axis_of(nc, d.name));
  a.lat_lon = a.kinds[n - 2] == axis::lat && a.kinds[n - 1] == axis::lon;
  if (!a.lat_lon && !(a.kinds[n - 2] == axis::lon && a.kinds[n - 1] == axis::lat))
    return std::nullopt;
  for (std::size_t k = 0; k + 2 < n; ++k) {
    const bool vertical = a.kinds[k] == axis::level || a.kinds[k] == axis::depth;
    if (vertical && a.level_axis < 0) a.level_axis = static_cast<int>(k);
    if (a.kinds[k] == axis::time && a.time_axis < 0) a.time_axis = static_cast<int>(k);
  }
  return a;
}

// Refuses axes of more than one step besides time, the vertical, latitude and longitude.
void check_axes(const var_axes& a, const std::string& what) {
  for (std::size_t k = 0; k + 2 < a.dims.size(); ++k) {
    const int ki = static_cast<int>(k);
    if (ki == a.level_axis || ki == a.time_axis || a.dims[k].length == 1) continue;
    const std::string& dim = a.dims[k].name;
    if (dim == "expver")
      throw run_error(what + " has the axis expver of " + std::to_string(a.dims[k].length) +
                      " (ERA5's final and preliminary data in one file); keep one, for "
                      "example with ncks -d expver,0 in.nc out.nc, or merge them with cdo");
    throw run_error(what + " has the axis " + dim + " of " + std::to_string(a.dims[k].length) +
                    " besides time, the vertical, latitude and longitude; keep one of it, for "
                    "example with ncks -d " +
                    dim + ",0 in.nc out.nc");
  }
}

latlon_grid grid_of(const netcdf_file& nc, const var_axes& a, const std::string& what) {
  latlon_grid g;
  const auto& lat_dim = a.dims[a.lat_dim()];
  const auto& lon_dim = a.dims[a.lon_dim()];
  double step = 0;
  regular_axis(coordinate(nc, lat_dim.name, lat_dim.length), what + ": latitude", g.lat_first,
               step);
  g.j_positive = step > 0;
  g.dj = std::fabs(step);
  regular_axis(coordinate(nc, lon_dim.name, lon_dim.length), what + ": longitude", g.lon_first,
               step);
  g.i_negative = step < 0;
  g.di = std::fabs(step);
  g.ni = static_cast<std::int64_t>(lon_dim.length);
  g.nj = static_cast<std::int64_t>(lat_dim.length);
  g.j_consecutive = !a.lat_lon;
  return g;
}

// Units that differ between producers.
void adjust_units(field_kind& kind, const std::string& units) {
  if (kind.surface == k_msl || kind.surface == k_sp) kind.divisor = to_hpa_divisor(units);
  if (!kind.surface && kind.upper == upper_field::hur && !kind.from_specific_humidity &&
      one_of(units, {"1", "fraction", "(0 - 1)"}))
    kind.divisor = 0.01;
}

// "[time=3]": which step of an axis a field is.
std::string indexed(const std::string& dim, std::size_t k) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "[%s=%zu]", dim.c_str(), k);
  return buf;
}

// One field per time step: the valid times, or one field without a time.
std::vector<source_field> per_time(const netcdf_file& nc, const source_field& s,
                                   const var_axes& a) {
  if (a.time_axis < 0) return {s};
  const auto& td = a.dims[static_cast<std::size_t>(a.time_axis)];
  const int tv = nc.var(td.name);
  const std::vector<double> t = nc.read_doubles(tv, {0}, {td.length});
  const std::string units = nc.text_or(tv, "units", "");
  std::vector<source_field> out;
  for (std::size_t k = 0; k < t.size(); ++k) {
    source_field f = s;
    f.time_index = static_cast<std::int64_t>(k);
    f.valid_time = time_text(t[k], units);
    if (td.length > 1) f.origin += indexed(td.name, k);
    out.push_back(std::move(f));
  }
  return out;
}

// One field per pressure level, or per soil layer (its depths from the axis' bounds, in
// metres, as CDO writes them; a layer of another layering stays unrecognised).
std::vector<source_field> per_level(const netcdf_file& nc, const source_field& s,
                                    const var_axes& a) {
  if (a.level_axis < 0) return {s};
  const auto& ld = a.dims[static_cast<std::size_t>(a.level_axis)];
  const int lv = nc.var(ld.name);
  const std::vector<double> levels = coordinate(nc, ld.name, ld.length);
  const double divisor = to_hpa_divisor(nc.text_or(lv, "units", "hPa"));
  const std::string bounds = nc.text_or(lv, "bounds", "");
  const std::vector<double> b = a.on(axis::depth) && !bounds.empty()
                                    ? nc.read_doubles(nc.var(bounds), {0, 0}, {ld.length, 2})
                                    : std::vector<double>();
  std::vector<source_field> out;
  for (std::size_t l = 0; l < levels.size(); ++l) {
    source_field f = s;
    f.level_index = static_cast<std::int64_t>(l);
    f.origin += indexed(ld.name, l);
    if (!a.on(axis::depth)) {
      f.level_hpa = levels[l] / divisor;
    } else if (b.empty()) {
      f.soil.known = false;
    } else {
      f.soil = {b[2 * l], b[2 * l + 1], false, true};
      if (const std::optional<int> layer = soil_layer(b[2 * l], b[2 * l + 1])) {
        f.kind.surface += 2 * (*layer - 1);
        f.kind.soil_layer_by_depth = false;
      }
    }
    out.push_back(std::move(f));
  }
  return out;
}

}  // namespace

std::vector<source_field> netcdf_inventory(const std::string& path) {
  check_classic_header(path);
  const netcdf_file nc = netcdf_file::open(path);
  std::vector<source_field> found;
  for (int var = 0; var < nc.var_count(); ++var) {
    const std::string name = nc.var_name(var);
    const std::optional<var_axes> a = axes_of(nc, var, name);
    if (!a) continue;
    const std::string standard = nc.text_or(var, "standard_name", "");
    std::optional<field_kind> kind =
        netcdf_field(standard, name, a->on(axis::level), a->on(axis::depth));
    if (!kind) continue;
    const std::string what = path + ": variable " + name;
    check_axes(*a, what);
    adjust_units(*kind, nc.text_or(var, "units", ""));

    source_field s;
    s.kind = *kind;
    if (kind->surface >= k_soil_t1 && !kind->soil_layer_by_depth)
      s.soil = depths_of_numbered_layer(*kind);
    s.file = path;
    s.variable = name;
    s.time_span = time_method(nc.text_or(var, "cell_methods", ""));
    s.grid = grid_of(nc, *a, what);
    s.origin = "variable " + name;
    for (source_field& by_level : per_level(nc, s, *a))
      for (source_field& f : per_time(nc, by_level, *a)) {
        f.origin += standard.empty() ? "" : " (" + standard + ")";
        found.push_back(std::move(f));
      }
  }
  return found;
}

read_values netcdf_values(const source_field& field, std::vector<double>& values) {
  const netcdf_file nc = netcdf_file::open(field.file);
  const int var = nc.var(field.variable);
  const std::vector<netcdf_file::dim_info> dims = nc.var_dims(var);
  std::vector<std::size_t> start(dims.size(), 0), count(dims.size(), 1);
  const std::size_t n = dims.size();
  count[n - 2] = dims[n - 2].length;
  count[n - 1] = dims[n - 1].length;
  for (std::size_t k = 0; k + 2 < n; ++k) {
    const axis kind = axis_of(nc, dims[k].name);
    if ((kind == axis::level || kind == axis::depth) && field.level_index >= 0)
      start[k] = static_cast<std::size_t>(field.level_index);
    if (kind == axis::time && field.time_index >= 0)
      start[k] = static_cast<std::size_t>(field.time_index);
  }
  values = nc.read_doubles(var, start, count);
  // The grid comes from the latitude and longitude axes; a variable whose last two
  // dimensions are not those axes holds another number of points.
  if (values.size() != field.grid.points())
    throw run_error(field.file + ": variable " + field.variable + ": its last two dimensions (" +
                    dims[n - 2].name + ", " + dims[n - 1].name + ") hold " +
                    std::to_string(values.size()) + " points, its grid " +
                    std::to_string(field.grid.points()) + "; not a field on that grid");

  // Missing points: _FillValue (or the type's default fill) and missing_value, compared
  // in the packed form (a NaN fill stands for NaN values); then unpacking. Any other NaN
  // is a value, which the plausibility check refuses.
  std::vector<double> fills = nc.numbers(var, "_FillValue");
  if (fills.empty()) fills.push_back(default_fill(nc.var_type(var)));
  for (const double m : nc.numbers(var, "missing_value")) fills.push_back(m);
  const std::vector<double> scale = nc.numbers(var, "scale_factor");
  const std::vector<double> offset = nc.numbers(var, "add_offset");
  const double a = scale.empty() ? 1.0 : scale[0];
  const double b = offset.empty() ? 0.0 : offset[0];
  constexpr double no_data = std::numeric_limits<double>::lowest();
  const auto is_fill = [&](double v) {
    return std::any_of(fills.begin(), fills.end(),
                       [&](double f) { return f == v || (std::isnan(f) && std::isnan(v)); });
  };
  for (double& v : values) v = is_fill(v) ? no_data : v * a + b;
  return {values, no_data};
}

void netcdf_read(const source_field& field, const window& cut, float* out) {
  std::vector<double> values;
  const read_values v = netcdf_values(field, values);
  summarizer rows(field_index(field.kind), false);
  place(v.values, v.missing, cut, field.kind, out, rows);
}

}  // namespace c2m::prepare

#include "companion/inspect/netcdf_export.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "common/byte_order.hpp"
#include "common/constants.hpp"
#include "common/errors.hpp"
#include "common/file_io.hpp"
#include "common/unique_fd.hpp"
#include "common/version.hpp"
#include "common/work_layout.hpp"
#include "companion/common/netcdf_file.hpp"
#include "companion/common/staged_output.hpp"
#include "companion/inspect/grid_axes.hpp"

namespace c2m::inspect {

namespace {

constexpr std::size_t soil_layers = 4;

// Fields that share one variable: for GRIB 2 the soil layers of one quantity are one
// variable on the soil axis; every other field, and each soil layer for GRIB 1 (whose
// table 128 gives each layer a code of its own), is a variable of its own.
struct variable {
  const companion::field_desc* field = nullptr;
  bool has_levels = false;           // a 3-D field
  std::vector<std::size_t> records;  // work-file records, from 1: one per level or layer
};

std::vector<variable> plan_variables(const companion::grid_info& info, bool merge_soil) {
  std::vector<variable> vars;
  std::int32_t f = 0;
  for (const companion::field_desc& d : info.fields_3d) {
    variable v{&d, true, {}};
    ++f;
    for (std::int32_t l = 1; l <= info.lm; ++l)
      v.records.push_back(static_cast<std::size_t>(layout::record_3d(f, info.lm, l)));
    vars.push_back(v);
  }
  std::int32_t k = 0;
  for (const companion::field_desc& d : info.fields_2d) {
    const auto r = static_cast<std::size_t>(layout::record_2d(info.lm, ++k));
    if (d.soil_layer > 0 && merge_soil) {
      variable* same = nullptr;
      for (variable& v : vars)
        if (v.field->soil_layer > 0 && v.field->short_name == d.short_name) same = &v;
      if (same != nullptr && same->records.size() == static_cast<std::size_t>(d.soil_layer - 1)) {
        same->records.push_back(r);
        continue;
      }
    }
    vars.push_back({&d, false, {r}});
  }
  return vars;
}

bool is_soil(const variable& v) {
  return v.field->soil_layer > 0 && v.records.size() == soil_layers;
}

// One soil layer as a variable of its own.
bool is_layer(const variable& v) {
  return v.field->soil_layer > 0 && v.records.size() == 1;
}

std::string time_units(const analysis_time& t) {
  return "hours since " + time_text(t, " ", true);
}

// "2026-12-09T02:54:38Z user: conv2model-inspect 0.1.0: conv2model-inspect netcdf ...": a
// line of the history, as the NetCDF User Guide asks: date, time, user, program, command.
std::string history_line(const std::string& command_line) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  char stamp[32] = "";
  if (gmtime_r(&now, &utc) != nullptr)
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  std::string user;
  if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_name != nullptr)
    user = std::string(" ") + pw->pw_name;
  return std::string(stamp) + user + ": conv2model-inspect " + version + ": " + command_line;
}

void describe(companion::netcdf_file& nc, int var, const companion::field_desc& f,
              int grib_edition) {
  std::string long_name = f.long_name;
  if (f.soil_layer > 0 && grib_edition == 2)
    long_name = long_name.substr(0, long_name.rfind(" layer"));
  nc.put_text(var, "long_name", long_name);
  nc.put_text(var, "units", f.cf_units);
  if (!f.standard_name.empty()) nc.put_text(var, "standard_name", f.standard_name);
  nc.put_float(var, "_FillValue", missing_value);
  // CDO takes the GRIB parameter from these: code and table for GRIB 1, param
  // ("number.category.discipline") for GRIB 2. It reads code before param, so only one
  // edition's attributes can stand.
  if (grib_edition == 1 && f.grib1_code > 0) {
    nc.put_int(var, "code", f.grib1_code);
    nc.put_int(var, "table", f.grib1_table);
  }
  if (grib_edition == 2 && !f.grib2_param.empty()) nc.put_text(var, "param", f.grib2_param);
}

}  // namespace

std::vector<double> parse_soil_depths(const std::string& text) {
  std::vector<double> depths;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string item = text.substr(at, comma - at);
    char* end = nullptr;
    const double d = std::strtod(item.c_str(), &end);
    if (item.empty() || end != item.c_str() + item.size() || !std::isfinite(d) || d <= 0.0 ||
        (!depths.empty() && d <= depths.back()))
      throw run_error("soil depths '" + text +
                      "' are not four increasing depths in metres, such as 0.1,0.4,1,2");
    depths.push_back(d);
    at = comma + 1;
  }
  if (depths.size() != soil_layers)
    throw run_error("soil depths '" + text + "' give " + std::to_string(depths.size()) +
                    " layers; the work file has four");
  return depths;
}

namespace {

// The ids of the dimensions and coordinate variables of an export; -1 where there is none.
struct coordinates {
  std::vector<int> lead;  // the time dimension, when there is one
  int time_var = -1;
  int plev = -1, soil = -1, lat = -1, lon = -1;
  int plev_var = -1, soil_var = -1, bounds_var = -1, lat_var = -1, lon_var = -1;
  // An axis of one level for each soil layer written as a variable of its own.
  std::array<int, soil_layers> layer_dim{-1, -1, -1, -1}, layer_var{-1, -1, -1, -1},
      layer_bounds{-1, -1, -1, -1};
};

void define_time(companion::netcdf_file& nc, const analysis_time& t, coordinates& c) {
  c.lead.push_back(nc.define_dim("time", 1));
  c.time_var = nc.define_var("time", NC_DOUBLE, {c.lead[0]});
  nc.put_text(c.time_var, "standard_name", "time");
  nc.put_text(c.time_var, "long_name", "analysis time");
  nc.put_text(c.time_var, "units", time_units(t));
  nc.put_text(c.time_var, "calendar", "standard");
  nc.put_text(c.time_var, "axis", "T");
}

// Depths in cm and the long name depth_below_land make CDO write the soil layers as
// GRIB layers below the land surface.
int define_depth(companion::netcdf_file& nc, const std::string& name, int dim, int bnds,
                 int& bounds_var) {
  const int v = nc.define_var(name, NC_DOUBLE, {dim});
  nc.put_text(v, "long_name", "depth_below_land");
  nc.put_text(v, "standard_name", "depth");
  nc.put_text(v, "units", "cm");
  nc.put_text(v, "positive", "down");
  nc.put_text(v, "axis", "Z");
  nc.put_text(v, "bounds", name + "_bnds");
  bounds_var = nc.define_var(name + "_bnds", NC_DOUBLE, {dim, bnds});
  return v;
}

void define_soil(companion::netcdf_file& nc, bool depths_known, coordinates& c) {
  const std::string name = depths_known ? "depth" : "soil_layer";
  c.soil = nc.define_dim(name, soil_layers);
  if (!depths_known) {
    c.soil_var = nc.define_var(name, NC_DOUBLE, {c.soil});
    nc.put_text(c.soil_var, "long_name", "soil layer, 1 at the top (layer depths unknown)");
    nc.put_text(c.soil_var, "units", "1");
    return;
  }
  const int bnds = nc.define_dim("bnds", 2);
  c.soil_var = define_depth(nc, name, c.soil, bnds, c.bounds_var);
}

// depth1 .. depth4: each layer's own axis of one level, so that CDO still writes it as a
// layer below the land surface.
void define_layers(companion::netcdf_file& nc, coordinates& c) {
  const int bnds = nc.define_dim("bnds", 2);
  for (std::size_t k = 0; k < soil_layers; ++k) {
    const std::string name = "depth" + std::to_string(k + 1);
    c.layer_dim[k] = nc.define_dim(name, 1);
    c.layer_var[k] = define_depth(nc, name, c.layer_dim[k], bnds, c.layer_bounds[k]);
  }
}

struct axis_desc {
  const char* name;
  nc_type type;
  const char* long_name;
  const char* standard_name;
  const char* units;
  const char* positive;  // nullptr: not a vertical axis
  const char* axis;
};

int define_axis(companion::netcdf_file& nc, int dim, const axis_desc& a) {
  const int v = nc.define_var(a.name, a.type, {dim});
  nc.put_text(v, "long_name", a.long_name);
  nc.put_text(v, "standard_name", a.standard_name);
  nc.put_text(v, "units", a.units);
  if (a.positive != nullptr) nc.put_text(v, "positive", a.positive);
  nc.put_text(v, "axis", a.axis);
  return v;
}

coordinates define_coordinates(companion::netcdf_file& nc, const companion::grid_info& info,
                               const netcdf_options& options, bool any_soil, bool any_layer) {
  coordinates c;
  if (options.time) define_time(nc, *options.time, c);
  c.plev = nc.define_dim("plev", static_cast<std::size_t>(info.lm));
  if (any_soil) define_soil(nc, !options.soil_depths.empty(), c);
  if (any_layer && !options.soil_depths.empty()) define_layers(nc, c);
  c.lat = nc.define_dim("lat", static_cast<std::size_t>(info.jm));
  c.lon = nc.define_dim("lon", static_cast<std::size_t>(info.im));
  c.plev_var =
      define_axis(nc, c.plev, {"plev", NC_FLOAT, "pressure", "air_pressure", "Pa", "down", "Z"});
  c.lat_var = define_axis(
      nc, c.lat, {"lat", NC_DOUBLE, "latitude", "latitude", "degrees_north", nullptr, "Y"});
  c.lon_var = define_axis(
      nc, c.lon, {"lon", NC_DOUBLE, "longitude", "longitude", "degrees_east", nullptr, "X"});
  return c;
}

// A field is written a record at a time, so a record is a chunk: each chunk is then
// compressed once, when it is written, and a reader of one level inflates only that level.
std::vector<int> define_fields(companion::netcdf_file& nc, const std::vector<variable>& vars,
                               const coordinates& c, const companion::grid_info& info,
                               const netcdf_options& options) {
  std::vector<int> ids;
  for (const variable& v : vars) {
    std::vector<int> dims = c.lead;
    if (v.has_levels) dims.push_back(c.plev);
    if (is_soil(v)) dims.push_back(c.soil);
    if (const int layer = v.field->soil_layer; is_layer(v) && c.layer_dim[layer - 1] >= 0)
      dims.push_back(c.layer_dim[layer - 1]);
    std::vector<std::size_t> chunk(dims.size(), 1);
    dims.push_back(c.lat);
    dims.push_back(c.lon);
    chunk.push_back(static_cast<std::size_t>(info.jm));
    chunk.push_back(static_cast<std::size_t>(info.im));
    const int id = nc.define_var(
        is_soil(v) ? v.field->short_name : companion::display_name(*v.field), NC_FLOAT, dims);
    nc.chunk(id, chunk);
    if (options.deflate > 0) nc.compress(id, options.deflate);
    nc.no_fill(id);
    describe(nc, id, *v.field, options.grib_edition);
    ids.push_back(id);
  }
  return ids;
}

void define_globals(companion::netcdf_file& nc, const companion::work_file& w,
                    const netcdf_options& options, bool any_soil) {
  nc.put_text(NC_GLOBAL, "Conventions", "CF-1.8");
  nc.put_text(NC_GLOBAL, "title", "conv2model work file " + w.path);
  nc.put_text(NC_GLOBAL, "source", "conv2model work file and its info file " + w.info_path());
  nc.put_text(NC_GLOBAL, "history", history_line(options.command_line));
  if (any_soil && options.soil_depths.empty())
    nc.put_text(NC_GLOBAL, "comment",
                "The work file does not record the depths of its soil layers.");
}

void write_coordinates(companion::netcdf_file& nc, const coordinates& c,
                       const companion::work_file& w, const grid_axes& axes,
                       const netcdf_options& options) {
  if (c.time_var >= 0) {
    const double zero = 0.0;
    nc.write(c.time_var, &zero);
  }
  nc.write(c.plev_var, w.info.pressure_pa.data());
  nc.write(c.lat_var, axes.lat.data());
  nc.write(c.lon_var, axes.lon.data());
  if (c.soil_var >= 0 && options.soil_depths.empty()) {
    const double layers[] = {1, 2, 3, 4};
    nc.write(c.soil_var, layers);
  }
  if (options.soil_depths.empty()) return;
  std::vector<double> mid, bounds;
  double top = 0.0;
  for (const double bottom : options.soil_depths) {
    mid.push_back((top + bottom) * 50.0);
    bounds.push_back(top * 100.0);
    bounds.push_back(bottom * 100.0);
    top = bottom;
  }
  if (c.soil_var >= 0) {
    nc.write(c.soil_var, mid.data());
    nc.write(c.bounds_var, bounds.data());
  }
  for (std::size_t k = 0; k < soil_layers; ++k)
    if (c.layer_var[k] >= 0) {
      nc.write(c.layer_var[k], &mid[k]);
      nc.write(c.layer_bounds[k], &bounds[2 * k]);
    }
}

// Where each record of the work file goes: variable k, level or layer n.
struct destination {
  std::size_t record = 0, k = 0, n = 0;
};

std::vector<destination> in_file_order(const std::vector<variable>& vars) {
  std::vector<destination> order;
  for (std::size_t k = 0; k < vars.size(); ++k)
    for (std::size_t n = 0; n < vars[k].records.size(); ++n)
      order.push_back({vars[k].records[n], k, n});
  std::sort(order.begin(), order.end(),
            [](const destination& a, const destination& b) { return a.record < b.record; });
  return order;
}

// The records are read in file order, one at a time into one buffer (the whole work
// file never stands in memory), and each is written as one chunk of its variable.
void write_fields(companion::netcdf_file& nc, const companion::work_file& w,
                  const std::vector<variable>& vars, const std::vector<int>& ids,
                  const coordinates& c) {
  const unique_fd fd(::open(w.path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.is_open()) throw run_error(os_error(w.path, "cannot open work file"));
  std::vector<float> record(w.points());
  const std::size_t record_bytes = record.size() * sizeof(float);
  std::size_t at = 1;  // the record the file is at
  for (const destination& d : in_file_order(vars)) {
    if (d.record != at &&
        ::lseek(fd.get(), static_cast<off_t>((d.record - 1) * record_bytes), SEEK_SET) < 0)
      throw run_error(os_error(w.path, "cannot seek in work file"));
    at = d.record + 1;
    read_exactly(fd.get(), w.path, record.data(), record_bytes, "work file");
    floats_from_little_endian(record);
    const variable& v = vars[d.k];
    if (v.field->pa_per_unit != 1.0f)
      for (float& x : record)
        if (x != missing_value) x *= v.field->pa_per_unit;
    std::vector<std::size_t> start(c.lead.size(), 0), count(c.lead.size(), 1);
    if (v.has_levels || is_soil(v) || (is_layer(v) && c.layer_dim[v.field->soil_layer - 1] >= 0)) {
      start.push_back(d.n);
      count.push_back(1);
    }
    start.insert(start.end(), {0, 0});
    count.insert(count.end(),
                 {static_cast<std::size_t>(w.info.jm), static_cast<std::size_t>(w.info.im)});
    nc.write(ids[d.k], start, count, record.data());
  }
}

}  // namespace

void export_netcdf(const companion::work_file& w, const std::string& out_path,
                   const netcdf_options& options) {
  const grid_axes axes = make_axes(w.info, w.info_path());
  const std::vector<variable> vars = plan_variables(w.info, options.grib_edition == 2);
  bool any_soil = false, any_layer = false;
  for (const variable& v : vars) {
    any_soil = any_soil || is_soil(v);
    any_layer = any_layer || is_layer(v);
  }

  companion::staged_output out(out_path);
  companion::netcdf_file nc = companion::netcdf_file::create(out.temp_path());
  const coordinates c = define_coordinates(nc, w.info, options, any_soil, any_layer);
  const std::vector<int> ids = define_fields(nc, vars, c, w.info, options);
  define_globals(nc, w, options, any_soil || any_layer);
  nc.end_define();
  write_coordinates(nc, c, w, axes, options);
  write_fields(nc, w, vars, ids, c);
  nc.close();
  out.commit();
}

}  // namespace c2m::inspect

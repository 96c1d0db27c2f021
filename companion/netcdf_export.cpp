#include "companion/netcdf_export.hpp"

#include <vector>

#include "common/constants.hpp"
#include "common/work_layout.hpp"
#include "companion/grid_axes.hpp"
#include "companion/netcdf_file.hpp"
#include "companion/staged_output.hpp"

namespace c2m::inspect {

namespace {

void describe(netcdf_file& nc, int var, const field_desc& f) {
  nc.put_text(var, "long_name", f.long_name);
  nc.put_text(var, "units", cf_units(f.units));
  if (!f.standard_name.empty()) nc.put_text(var, "standard_name", f.standard_name);
}

}  // namespace

void export_netcdf(const work_file& w, const std::string& out_path) {
  const grid_axes axes = make_axes(w.info, w.path + ".gdsinfo");
  staged_output out(out_path);
  netcdf_file nc = netcdf_file::create(out.temp_path());

  // No time dimension: the work file carries no date.
  const int level = nc.define_dim("level", static_cast<std::size_t>(w.info.lm));
  const int lat = nc.define_dim("lat", static_cast<std::size_t>(w.info.jm));
  const int lon = nc.define_dim("lon", static_cast<std::size_t>(w.info.im));

  const int level_var = nc.define_var("level", NC_FLOAT, {level});
  nc.put_text(level_var, "long_name", "pressure");
  nc.put_text(level_var, "standard_name", "air_pressure");
  nc.put_text(level_var, "units", "Pa");
  nc.put_text(level_var, "positive", "down");
  nc.put_text(level_var, "axis", "Z");
  const int lat_var = nc.define_var("lat", NC_DOUBLE, {lat});
  nc.put_text(lat_var, "long_name", "latitude");
  nc.put_text(lat_var, "standard_name", "latitude");
  nc.put_text(lat_var, "units", "degrees_north");
  nc.put_text(lat_var, "axis", "Y");
  const int lon_var = nc.define_var("lon", NC_DOUBLE, {lon});
  nc.put_text(lon_var, "long_name", "longitude");
  nc.put_text(lon_var, "standard_name", "longitude");
  nc.put_text(lon_var, "units", "degrees_east");
  nc.put_text(lon_var, "axis", "X");

  // The fields, in record order; a 3-D field's level 1 is the bottom.
  std::vector<int> vars;
  for (const field_desc& f : w.info.fields_3d)
    vars.push_back(nc.define_var(f.short_name, NC_FLOAT, {level, lat, lon}));
  for (const field_desc& f : w.info.fields_2d)
    vars.push_back(nc.define_var(f.short_name, NC_FLOAT, {lat, lon}));
  for (std::size_t k = 0; k < vars.size(); ++k) {
    const field_desc& f = k < 5 ? w.info.fields_3d[k] : w.info.fields_2d[k - 5];
    nc.compress(vars[k]);
    describe(nc, vars[k], f);
    nc.put_float(vars[k], "_FillValue", missing_value);
  }

  nc.put_text(NC_GLOBAL, "Conventions", "CF-1.8");
  nc.put_text(NC_GLOBAL, "title", "conv2model work file " + w.path);
  nc.put_text(NC_GLOBAL, "source", "conv2model work file and its info file " + w.path + ".gdsinfo");
  nc.put_text(NC_GLOBAL, "history", "written by conv2model-inspect netcdf");
  nc.end_define();

  nc.write(level_var, w.info.pressure_pa.data());
  nc.write(lat_var, axes.lat.data());
  nc.write(lon_var, axes.lon.data());
  // Records of one 3-D field stand one after the other, level 1 first, as the level
  // dimension wants them; the surface fields follow.
  for (std::size_t k = 0; k < vars.size(); ++k) {
    const auto f = static_cast<std::int32_t>(k) + 1;
    const std::int64_t first = f <= layout::fields_3d
                                   ? layout::record_3d(f, w.info.lm, 1)
                                   : layout::record_2d(w.info.lm, f - layout::fields_3d);
    nc.write(vars[k], w.record(static_cast<int>(first)).data());
  }
  nc.close();
  out.commit();
}

}  // namespace c2m::inspect

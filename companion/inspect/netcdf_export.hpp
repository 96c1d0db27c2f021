// Export of a work file to a CF-1.8 NetCDF-4 file: the 3-D fields on pressure levels, the
// soil fields on a soil-depth axis, the other surface fields on the grid alone.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "companion/common/work_file.hpp"
#include "companion/inspect/analysis_time.hpp"

namespace c2m::inspect {

struct netcdf_options {
  // Depths of the bottoms of the four soil layers in metres, increasing; without them
  // the layers are numbered and their depths stated as unknown.
  std::vector<double> soil_depths;
  std::optional<analysis_time> time;  // a time coordinate when given
  int grib_edition = 1;               // which attributes tell CDO the GRIB parameters
  int deflate = 1;                    // 0: none; 1 to 9: shuffle and deflate at that level
  std::string command_line;           // for the history attribute
};

// "0.1,0.4,1,2": four increasing positive depths in metres. Throws run_error otherwise.
std::vector<double> parse_soil_depths(const std::string& text);

// Writes out_path (replacing it only once the new file is complete). The values are the
// work file's own, except the pressures in hPa, which are written in Pa (x 100 in float).
// The records are read from w.path one at a time: w needs only its info (read_work_info).
void export_netcdf(const companion::work_file& w, const std::string& out_path,
                   const netcdf_options& options);

}  // namespace c2m::inspect

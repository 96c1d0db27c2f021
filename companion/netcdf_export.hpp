// Export of a work file to a CF-1.8 NetCDF-4 file with the dimensions level, lat and lon.
#pragma once

#include <string>

#include "companion/work_file.hpp"

namespace c2m::inspect {

// Writes out_path (replacing it only once the new file is complete).
void export_netcdf(const work_file& w, const std::string& out_path);

}  // namespace c2m::inspect

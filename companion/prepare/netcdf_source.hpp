// NetCDF analyses (classic and NetCDF-4): the inventory of the variables the input field
// file needs, recognised by standard_name or by ERA5/GFS short names, and their values,
// unpacked from scale_factor/add_offset with fill values turned into no data.
#pragma once

#include <string>
#include <vector>

#include "companion/prepare/source_field.hpp"

namespace c2m::prepare {

std::vector<source_field> netcdf_inventory(const std::string& path);

// Reads one field (one level of a variable) into `values`, its storage.
read_values netcdf_values(const source_field& field, std::vector<double>& values);

// The same, its window placed into `out`.
void netcdf_read(const source_field& field, const window& cut, float* out);

}  // namespace c2m::prepare

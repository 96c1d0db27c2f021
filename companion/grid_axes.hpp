// Latitudes and longitudes of a work file's grid from its description integers
// (GRIB edition 1, latitude/longitude grid, millidegrees).
#pragma once

#include <vector>

#include "companion/work_file.hpp"

namespace c2m::inspect {

struct grid_axes {
  std::vector<double> lat;  // degrees_north, one per row j = 1 .. jm
  std::vector<double> lon;  // degrees_east, one per column i = 1 .. im
};

// Points from the first grid point (kgds 4, 5) by the increments (kgds 9, 10) when
// kgds(6) says they are given, otherwise spread evenly to the last point (kgds 7, 8);
// the scanning mode (kgds 11) gives the directions. Refuses grids that are not
// latitude/longitude (kgds(1) other than 0) or whose rows run along j.
grid_axes make_axes(const grid_info& info, const std::string& name);

// Whether row j = jm lies north of row 1 and column im east of column 1.
bool rows_run_north(const grid_info& info);
bool columns_run_east(const grid_info& info);

}  // namespace c2m::inspect

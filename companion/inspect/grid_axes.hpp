// Latitudes and longitudes of a work file's grid from its description integers
// (GRIB edition 1, latitude/longitude grid, millidegrees).
#pragma once

#include <string>
#include <vector>

#include "companion/common/work_file.hpp"

namespace c2m::inspect {

struct grid_axes {
  std::vector<double> lat;  // degrees_north, one per row j = 1 .. jm
  std::vector<double> lon;  // degrees_east, one per column i = 1 .. im
  // Where the description integers disagree with each other: the stated increments with
  // the first and last points, the scanning mode with the order of those points.
  std::vector<std::string> notes;

  bool rows_run_north() const { return lat.size() < 2 || lat.back() > lat.front(); }
  bool columns_run_east() const { return lon.size() < 2 || lon.back() > lon.front(); }
};

// Each axis runs evenly from the first grid point (kgds 4, 5) to the last (kgds 7, 8),
// as GRIB 1 decoders take it: the increments (kgds 9, 10) are whole millidegrees and
// would leave a long axis short of its end. Longitudes run the way the scanning mode
// (kgds 11) says, across 0/360 where the last point is numerically on the other side;
// latitudes run from the first point to the last whatever the scanning mode says.
// Refuses grids that are not latitude/longitude (kgds(1) other than 0) or whose rows
// run along j; name is used in diagnostics and notes.
grid_axes make_axes(const companion::grid_info& info, const std::string& name);

}  // namespace c2m::inspect

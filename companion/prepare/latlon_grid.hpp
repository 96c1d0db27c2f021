// A regular latitude/longitude grid as a source file stores it, in any scanning order,
// and the window of it that is written: west to east, south to north.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/kgds.hpp"

namespace c2m::prepare {

// The grid of one source field. Points are stored with i (along a latitude circle)
// fastest unless `j_consecutive`; `i_negative` means east to west, `j_positive` south
// to north. Coordinates in degrees, as the file gives them.
struct latlon_grid {
  std::int64_t ni = 0;
  std::int64_t nj = 0;
  double lat_first = 0, lon_first = 0;  // of the first point stored
  double di = 0, dj = 0;                // increments, positive
  bool i_negative = false;
  bool j_positive = false;
  bool j_consecutive = false;

  std::size_t points() const { return static_cast<std::size_t>(ni * nj); }
  double south() const { return j_positive ? lat_first : lat_first - dj * double(nj - 1); }
  double west() const { return i_negative ? lon_first - di * double(ni - 1) : lon_first; }
  // Whether the last column repeats the first one round the earth (0 to 360 inclusive).
  bool repeats_seam() const;
  // The columns at distinct longitudes: without a repeated seam column.
  std::int64_t columns() const;
  // Whether the longitudes go round the whole earth, so a window may cross the seam.
  bool global_in_longitude() const;
  // Same points at the same places (coordinates equal to a thousandth of a step).
  bool same_as(const latlon_grid& other) const;
  std::string describe() const;  // "144 x 73, 0 to 357.5 E, -90 to 90 N, step 2.5 x 2.5"
};

// The --area option: north/west/south/east in degrees.
struct area {
  double north = 0, west = 0, south = 0, east = 0;
};

class regridding;

// The points written: `im` columns from `i0` eastwards (wrapping round a global grid),
// `jm` rows from `j0` northwards, in the source grid's west-to-east, south-to-north
// numbering. Written point (i, j), from 0, comes from stored value row[j] + col[i] of
// the source field, or, where `regridded` is set (--grid), of the values it carries
// onto the window's points.
struct window {
  const regridding* regridded = nullptr;
  std::int32_t im = 0, jm = 0;
  std::int64_t i0 = 0, j0 = 0;
  kgds_values kgds;  // those the grid configuration gives
  std::vector<std::size_t> row, col;
  std::size_t offset(std::size_t i, std::size_t j) const { return row[j] + col[i]; }
};

// The whole grid, or the points inside `cut` (edges included), without interpolation; a
// repeated seam column is written once. Throws run_error naming `what` and the grid's
// extent when the area leaves the grid or holds fewer than two rows or columns. The
// grid description's first longitude lies in [-180, 180), its last one east of it by
// the window's width.
window make_window(const latlon_grid& g, const std::optional<area>& cut, const std::string& what);

// Degrees to the millidegrees of the grid description, rounded; refuses a value that
// is not a whole number of millidegrees to within 0.05 (what float coordinates carry).
std::int32_t millidegrees(double degrees, const std::string& what);

}  // namespace c2m::prepare

// The regular latitude/longitude grid that --grid asks for: its spacing, and its area
// given by --area or else the largest one inside the source grid's coverage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "companion/regrid/source_grid.hpp"

namespace c2m::regrid {

// More target points than this are refused: a spacing typed wrongly, not an analysis.
constexpr std::size_t most_target_points = 25'000'000;

struct spacing {
  double dlat = 0, dlon = 0;  // degrees
};

// "D" or "DLAT/DLON", degrees from 0.001 to 10; throws usage_error otherwise.
spacing parse_spacing(const std::string& text);

// North/west/south/east in degrees, as --area gives them.
struct area_bounds {
  double north = 0, west = 0, south = 0, east = 0;
};

// Points (i, j), from 0, lie at west + i dlon, south + j dlat: west to east, south to
// north, stored at j nlon + i.
struct target_grid {
  double south = 0, west = 0, dlat = 0, dlon = 0;
  std::int64_t nlat = 0, nlon = 0;

  std::size_t points() const { return std::size_t(nlat) * std::size_t(nlon); }
  double lat(std::int64_t j) const { return south + double(j) * dlat; }
  double lon(std::int64_t i) const { return west + double(i) * dlon; }
  double north() const { return lat(nlat - 1); }
  double east() const { return lon(nlon - 1); }
  std::string area_text() const;  // "N/W/S/E"
  std::string describe() const;   // "121 x 61 points, 0.25 x 0.25 degrees, area N/W/S/E"
};

// The grid of spacing `s` over `area`. Throws run_error when it has fewer than two rows
// or columns, or more than most_target_points.
target_grid target_over(spacing s, const area_bounds& area);

// The largest grid of spacing `s`, on multiples of it, whose points all lie inside the
// source's coverage; the whole earth for a global source. Throws run_error when none
// holds two rows and two columns.
target_grid largest_inside(spacing s, const source_grid& source);

}  // namespace c2m::regrid

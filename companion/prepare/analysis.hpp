// The values of the fields chosen for one valid time, in the layout of the input field
// file, and the checks made on them before they are written.
#pragma once

#include <ostream>

#include "common/grid.hpp"
#include "companion/prepare/latlon_grid.hpp"
#include "companion/prepare/selection.hpp"

namespace c2m::prepare {

struct analysis {
  grid upper[n_upper];
  grid slp;
};

// Refuses points without data (a GRIB bitmap, NaN, a NetCDF fill value) in the upper-air
// fields, the land-sea mask, the two pressures and the orography, soil without data over
// land, and soil layers absent or not recognised, naming the field, the level, how many
// points and the first one. With `allow`, says on `warn` what the converter will do with
// them instead. Soil over sea is made no data (the converter fills it).
void check_holes(analysis& a, const selection& sel, const window& w, bool allow,
                 std::ostream& warn);

// Relative humidity where the files give specific humidity: the inverse of conv2model's
// own conversion (rh_to_q, with its saturation table), so that the conversion gives the
// producer's q back. Says so on `warn` with the largest relative difference of that
// round trip, which it returns (0 when nothing was derived).
double derive_relative_humidity(analysis& a, const selection& sel, std::ostream& warn);

}  // namespace c2m::prepare

// What the fields chosen for one valid time hold once placed, and the checks made on
// that before the input field file written from them may replace anything.
#pragma once

#include <ostream>
#include <vector>

#include "common/grid.hpp"
#include "companion/prepare/latlon_grid.hpp"
#include "companion/prepare/plausibility.hpp"
#include "companion/prepare/selection.hpp"

namespace c2m::prepare {

struct placed {
  std::vector<std::vector<field_summary>> upper;  // [field][level]
  std::vector<field_summary> surface;             // [k - 1]
  std::vector<field_summary> soil_sources;        // the soil plan's sources, as read
  explicit placed(const selection& sel);
};

// The surface stack once read: soil fields summarised over land only, and soil over sea
// made no data (the converter fills it).
void settle_soil(grid& surface, const selection& sel, bool allow_implausible, placed& p);

// Refuses points without data (a GRIB bitmap, a NetCDF fill value) in the upper-air
// fields, the land-sea mask, the two pressures and the orography, soil without data over
// land, and soil layers absent or not recognised, naming the field, the level, how many
// points and the first one. With `allow`, says on `warn` what the converter will do with
// them instead.
void check_holes(const placed& p, const selection& sel, const window& w, bool allow,
                 std::ostream& warn);

// Refuses the first value not finite, or implausible unless allowed, in writing order.
void check_values(const placed& p, const selection& sel, const window& w);

// Whether relative humidity is derived from specific humidity on any level.
bool derives_humidity(const selection& sel);

// Relative humidity where the files give specific humidity: the inverse of conv2model's
// own conversion (rh_to_q, with its saturation table), so that the conversion gives the
// producer's q back. `rh` and `tp` are the two records, every level. Returns the largest
// relative difference of that round trip (0 when nothing was derived).
double derive_relative_humidity(grid& rh, const grid& tp, const selection& sel);

// Says on `warn` that relative humidity was derived, and how closely it converts back.
void note_derived_humidity(const selection& sel, double largest, std::ostream& warn);

}  // namespace c2m::prepare

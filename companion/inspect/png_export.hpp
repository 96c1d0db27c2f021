// Quick-look pictures: one record as a map, north up, one degree of longitude as wide as
// one of latitude, with latitude and longitude ticks, the coastline from the work file's
// own land-sea mask, missing points grey, and a labelled colour bar. Drawn with Cairo.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "companion/common/work_file.hpp"
#include "companion/inspect/colour_map.hpp"

namespace c2m::inspect {

inline constexpr rgb missing_grey = {160, 160, 160};

struct picture_options {
  std::optional<double> min, max;  // the colour range, in the units shown (g/kg for q)
};

// How a field is shown: humidity in g/kg, everything else in the work file's units;
// signed fields (winds) on the diverging scale centred on zero.
struct display_scale {
  double factor = 1.0;
  std::string units;
  bool diverging = false;
};
display_scale display_of(const field_desc& f);

// The values the colours run between, in the units shown, and how many valid points lie
// outside (drawn in the end colours).
struct colour_range {
  double low = 0.0, high = 0.0;
  std::size_t below = 0, above = 0, valid = 0;
  bool trimmed = false;  // the default range left out a few outlying points
};

// Without a given end, the range runs from the smallest to the largest plausible value,
// unless a few points (fewer than one in two hundred at each end) lie far outside the
// rest: then it runs between the 0.5th and 99.5th percentiles. A diverging range is
// symmetric about zero.
colour_range choose_range(std::span<const float> values, const display_scale& d,
                          const picture_options& options, const plausible_range& plausible = {});

// Where the parts of a picture stand, in pixels from the top-left corner.
struct quicklook_layout {
  int width = 0, height = 0;
  double map_x = 0, map_y = 0, map_w = 0, map_h = 0;  // the map, inside its frame
  double bar_x = 0, bar_y = 0, bar_w = 0, bar_h = 0;  // the colour bar
  double font = 0;                                    // text size in pixels
};

// The map's longer side is the grid's longer side in points, between 720 and 1440
// pixels; the other follows from the extent in degrees (in points for a grid that is
// not latitude/longitude).
quicklook_layout plan_quicklook(const grid_info& info);

// Draws the record and writes it as a PNG (replacing path only once it is complete).
void write_quicklook(const work_file& w, const record_id& record, const picture_options& options,
                     const std::string& path);

}  // namespace c2m::inspect

// One field drawn as a map with its colour bar: north up, one degree of longitude as
// wide as one of latitude, latitude and longitude ticks, the coastline from the work
// file's own land-sea mask, missing points grey. The quick-look picture is one such
// panel with a title and a footer; the overview is a grid of them.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "companion/common/work_file.hpp"
#include "companion/inspect/analysis_time.hpp"
#include "companion/inspect/colour_map.hpp"

namespace c2m::inspect {

inline constexpr rgb missing_grey = {160, 160, 160};
// The sea on a field defined over land only: lighter than a missing point, and no colour
// of the scales.
inline constexpr rgb sea_grey = {222, 222, 222};
// The two classes of the land-sea mask.
inline constexpr rgb sea_colour = {86, 140, 198};
inline constexpr rgb land_colour = {198, 172, 120};

struct picture_options {
  std::optional<double> min, max;     // the colour range, in the units shown (g/kg for q)
  std::optional<analysis_time> time;  // named in the subtitle when given
};

// How a field is coloured: on a scale; as the two classes of a mask; or on a scale over
// land only, the sea set apart (topography and the soil fields, whose values over sea
// are fill).
enum class field_look { scale, classes, land_only };
field_look look_of(const companion::field_desc& f);

// How a field is shown: humidity in g/kg, everything else in the work file's units;
// signed fields (winds) on the diverging scale centred on zero.
struct display_scale {
  double factor = 1.0;
  std::string units;
  bool diverging = false;
};
display_scale display_of(const companion::field_desc& f);

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
                          const picture_options& options,
                          const companion::plausible_range& plausible = {});

// Where the parts of a picture stand, in pixels from the top-left corner.
struct quicklook_layout {
  int width = 0, height = 0;                          // of the panel
  double map_x = 0, map_y = 0, map_w = 0, map_h = 0;  // the map, inside its frame
  double bar_x = 0, bar_y = 0, bar_w = 0, bar_h = 0;  // the colour bar
  double font = 0;                                    // text size in pixels
};

// A panel whose top-left corner is (x, y): the map's longer side is longest pixels, the
// other follows from the extent in degrees (in points for a grid that is not
// latitude/longitude); top and bottom are the room above and below the map in font
// sizes; font 0 sizes the text by the map.
quicklook_layout layout_at(const companion::grid_info& info, double longest, double font, double x,
                           double y, double top, double bottom);

// The quick-look picture's layout: the map's longer side is the grid's longer side in
// points, between 720 and 1440 pixels.
quicklook_layout plan_quicklook(const companion::grid_info& info);

// The height of the triangle at an end of the colour bar; the units stand above it.
double bar_arrow_height(const quicklook_layout& q);

struct panel_result {
  colour_range range;
  std::size_t sea = 0;  // points drawn as sea, on a field defined over land only
  bool geographic = false;
};

// Draws values (a record's, or a field made of records, im * jm points) at q: the field,
// the coast, the frame, the ticks and the colour bar or legend.
panel_result draw_map_panel(cairo_t* cr, const quicklook_layout& q, const companion::work_file& w,
                            std::span<const float> values, const companion::field_desc& f,
                            const picture_options& options);

}  // namespace c2m::inspect

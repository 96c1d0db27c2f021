// Quick-look pictures: one record as a map, north up, on the viridis scale, missing
// points grey, with a colour bar labelled with the record's minimum and maximum.
#pragma once

#include <string>

#include "companion/raster.hpp"
#include "companion/work_file.hpp"

namespace c2m::inspect {

inline constexpr rgb missing_grey = {160, 160, 160};

// Where the parts of a picture stand, in pixels from the top-left corner.
struct quicklook_layout {
  int width = 0, height = 0;                       // the picture is wider where its texts need it
  int map_x = 0, map_y = 0, map_w = 0, map_h = 0;  // inside the map's frame
  int bar_x = 0, bar_y = 0, bar_w = 0, bar_h = 0;  // inside the colour bar's frame
};

// A small grid is enlarged to about 480 pixels; a large one is shown point by point up
// to 2048 pixels and thinned beyond.
quicklook_layout plan_quicklook(std::int32_t im, std::int32_t jm);

raster render_quicklook(const work_file& w, const record_id& record);

// Writes the picture as an 8-bit RGB PNG (replacing path only once it is complete).
void write_png(const raster& picture, const std::string& path);

}  // namespace c2m::inspect

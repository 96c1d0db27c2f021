// The overview: one picture a forecaster reads at a glance before a run. The surface
// fields and temperature, geopotential height and wind speed at 850, 500 and 250 hPa,
// each a map panel with its own colour bar, under one title with the file, the grid and
// the analysis time.
#pragma once

#include <string>
#include <vector>

#include "companion/common/work_file.hpp"
#include "companion/inspect/map_panel.hpp"

namespace c2m::inspect {

// The levels shown for 850, 500 and 250 hPa: each the level of that pressure, or else
// the nearest one; a level nearest to two of them is shown once. From 1 (the bottom).
std::vector<std::int32_t> overview_levels(const companion::grid_info& info);

// Wind speed from the two wind components, point by point, in float; the missing value
// where either component is not a valid value.
std::vector<float> wind_speed(std::span<const float> u, std::span<const float> v);

// Draws the overview and writes it as a PNG (replacing path only once it is complete).
void write_overview(const companion::work_file& w, const picture_options& options,
                    const std::string& path);

}  // namespace c2m::inspect

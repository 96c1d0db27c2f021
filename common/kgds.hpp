// Flags among the grid description integers kgds (GRIB edition 1 Grid Description
// Section, latitude/longitude grid), as the info file carries them.
#pragma once

#include <cstdint>

namespace c2m::kgds_flags {

// kgds(6), resolution and component flags.
constexpr std::int32_t increments_given = 128;  // direction increments are given

// kgds(11), scanning mode.
constexpr std::int32_t i_negative = 128;    // points run east to west along a row
constexpr std::int32_t j_positive = 64;     // rows run south to north
constexpr std::int32_t j_consecutive = 32;  // j varies fastest

// kgds(20): no list of vertical coordinate parameters or of points per row.
constexpr std::int32_t no_extra_lists = 255;

}  // namespace c2m::kgds_flags

#pragma once

#include <cstdint>

namespace c2m {

// Marks points without data in the input field file: 9.999e20 rounded to a float
// (bits 0x6258D19A). It is recognised by equality in single precision.
constexpr float input_fill = 9.999e20f;

// Marks points without data in the 3-D grids once the input has been normalised.
constexpr float missing_value = -99999.0f;

// Number of surface fields in the stack slp.
constexpr std::int32_t nsfcfld = 12;

}  // namespace c2m

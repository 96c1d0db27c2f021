#pragma once

#include <cstdint>
#include <span>

#include "common/grid.hpp"

namespace c2m {

// Table index of a temperature: 100 * tp as a float, truncated toward zero, clamped to
// the table; NaN and values outside the 32-bit range take the lowest entry.
std::int32_t esat_index(float tp);

// Derives qnew2 = rh * 0.00622 e / (p - e). rh is consumed: qnew2 takes its storage,
// point by point, since no point of rh is needed once its own humidity is formed.
grid rh_to_q(const grid& tp, std::span<const float> pr, grid rh);

}  // namespace c2m

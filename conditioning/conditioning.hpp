// Field conditioning: brings the grids as read into the form the derivation and the
// output expect. Each step works in place on the run's grids.
#pragma once

#include <cstdint>
#include <span>

#include "common/grid.hpp"
#include "common/run_state.hpp"

namespace c2m {

// Land-sea mask to exact 0/1; the input fill value to the missing value in the 3-D
// grids and to 0.0 in the surface fields.
void missing_fix(run_state& run);
void mask_fix(std::span<float> mask);
void fill_to(std::span<float> values, float replacement);

// Checks the first point of every level; patches relative humidity through rh_fix and
// throws data_stop (after printing its message) when a level cannot be used. q_first
// holds the first point of each level of the specific humidity q.
void level_check(const grid& ht, const grid& tp, grid& rh, const grid& uw, const grid& vw,
                 std::span<const float> q_first, std::span<const float> pr, std::int32_t lm);

// Fills missing relative-humidity levels at the bottom and the top of the column from
// the nearest level with data; throws data_stop when a level is still missing.
void rh_fix(std::int32_t im, std::int32_t jm, std::int32_t lm, grid& rh, std::span<const float> pr);

// Rounds a pressure for the level-copied message: halves away from zero, NaN to 0,
// beyond the 32-bit range to the nearest 32-bit value.
std::int32_t round_pressure(float p);

// Caps soil moisture, replaces missing deep layers by layer 2 and fills gaps (0.0)
// along the rows of the soil fields 5 to 12.
void soil_fix(grid& slp);

// The zero fill of one row: the effect of 15 passes of the two in-place sweeps, in one
// pass over the row.
void soil_fill_row(std::span<float> row);

}  // namespace c2m

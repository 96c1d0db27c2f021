#include <algorithm>

#include "common/constants.hpp"
#include "common/field_slots.hpp"
#include "conditioning/conditioning.hpp"

namespace c2m {

void mask_fix(std::span<float> mask) {
  // A NaN passes neither test and keeps its value.
  for (float& v : mask) {
    if (v < 0.1f)
      v = 0.0f;
    else if (v >= 0.1f)
      v = 1.0f;
  }
}

void fill_to(std::span<float> values, float replacement) {
  // Most blocks hold no fill value: they are only read, by a loop of fixed length that
  // the compiler vectorises, and written only where the fill value is found. A pass
  // over the grids then costs what reading them from memory costs.
  constexpr std::size_t block = 64;
  for (std::size_t start = 0; start < values.size(); start += block) {
    float* p = values.data() + start;
    const std::size_t n = std::min(block, values.size() - start);
    int found = n < block;  // the short last block is simply searched
    if (n == block)
      for (std::size_t k = 0; k < block; ++k) found |= p[k] == input_fill;
    if (found)
      for (std::size_t k = 0; k < n; ++k)
        if (p[k] == input_fill) p[k] = replacement;
  }
}

void missing_fix(run_state& run) {
  // The mask comes first: its fill values become land (1.0) and are not touched later.
  mask_fix({run.slp.level(slots::land_sea_mask), run.slp.level_size()});
  // q holds 0.0 everywhere, so it has no fill value to replace.
  for (grid* g : {&run.ht, &run.uw, &run.vw, &run.tp, &run.rh}) fill_to(g->all(), missing_value);
  fill_to(run.slp.all(), 0.0f);
}

}  // namespace c2m

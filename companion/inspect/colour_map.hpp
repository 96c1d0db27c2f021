// The colour scales of the quick-look pictures: viridis for most fields (perceptually
// uniform, readable in grey and by people with the common colour-vision deficiencies)
// and a blue-white-red scale centred on zero for signed fields such as winds.
#pragma once

#include <cstdint>

namespace c2m::inspect {

struct rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const rgb&) const = default;
};

// The colour of t in [0, 1] (dark violet at 0, yellow at 1); t outside is clamped.
rgb viridis(double t);

// Blue at 0, white at 0.5, red at 1; t outside is clamped.
rgb blue_white_red(double t);

}  // namespace c2m::inspect

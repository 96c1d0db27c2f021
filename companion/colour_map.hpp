// The viridis colour scale: perceptually uniform, readable in grey and by people with
// the common colour-vision deficiencies.
#pragma once

#include "companion/raster.hpp"

namespace c2m::inspect {

// The colour of t in [0, 1] (dark violet at 0, yellow at 1); t outside is clamped.
rgb viridis(double t);

}  // namespace c2m::inspect

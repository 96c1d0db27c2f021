#include "companion/prepare/source_field.hpp"

#include <cmath>
#include <limits>

#include "common/constants.hpp"

namespace c2m::prepare {

void place(std::span<const double> values, double missing, std::span<const std::size_t> offsets,
           const field_kind& kind, float* out) {
  for (std::size_t p = 0; p < offsets.size(); ++p) {
    const double v = values[offsets[p]];
    if (std::isnan(v) || v == missing) {
      out[p] = input_fill;
    } else if (kind.mask) {
      out[p] = v >= 0.5 ? 1.0f : 0.0f;
    } else {
      // A value beyond the float range has no float to become; it is no data.
      const double x = v / kind.divisor;
      out[p] =
          std::fabs(x) <= std::numeric_limits<float>::max() ? static_cast<float>(x) : input_fill;
    }
  }
}

}  // namespace c2m::prepare

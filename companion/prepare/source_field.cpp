#include "companion/prepare/source_field.hpp"

#include <cmath>
#include <limits>

#include "common/constants.hpp"

namespace c2m::prepare {

void place(std::span<const double> values, double missing, const window& cut,
           const field_kind& kind, float* out) {
  for (std::size_t j = 0; j < cut.row.size(); ++j) {
    const double* row = values.data() + cut.row[j];
    for (std::size_t i = 0; i < cut.col.size(); ++i, ++out) {
      const double v = row[cut.col[i]];
      if (std::isnan(v) || v == missing) {
        *out = input_fill;
      } else if (kind.mask) {
        *out = v >= 0.5 ? 1.0f : 0.0f;
      } else {
        // A value beyond the float range has no float to become; it is no data.
        const double x = v / kind.divisor;
        *out =
            std::fabs(x) <= std::numeric_limits<float>::max() ? static_cast<float>(x) : input_fill;
      }
    }
  }
}

}  // namespace c2m::prepare

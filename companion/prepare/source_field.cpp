#include "companion/prepare/source_field.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "companion/prepare/plausibility.hpp"

namespace c2m::prepare {

namespace {

// A value beyond the float range becomes an infinity of its sign rather than undefined
// behaviour; the plausibility check refuses it.
float to_float(double x) {
  if (std::fabs(x) <= std::numeric_limits<float>::max() || std::isnan(x))
    return static_cast<float>(x);
  return x < 0 ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
}

}  // namespace

void place(std::span<const double> values, double missing, const window& cut,
           const field_kind& kind, float* out) {
  const std::size_t k = field_index(kind);
  // Every reader checks its values against the grid; this keeps a fault there from
  // reading past them.
  if (!cut.row.empty() && !cut.col.empty() &&
      *std::max_element(cut.row.begin(), cut.row.end()) +
              *std::max_element(cut.col.begin(), cut.col.end()) >=
          values.size())
    throw run_error("the values read do not cover the window");
  for (std::size_t j = 0; j < cut.row.size(); ++j) {
    const double* row = values.data() + cut.row[j];
    for (std::size_t i = 0; i < cut.col.size(); ++i, ++out) {
      const double v = row[cut.col[i]];
      if (v == missing)
        *out = input_fill;
      else if (kind.mask && plausible(k, v))
        *out = v >= 0.5 ? 1.0f : 0.0f;
      else
        *out = to_float(v / kind.divisor);  // NaN and implausible values stay for the check
    }
  }
}

}  // namespace c2m::prepare

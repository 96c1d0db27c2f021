// Placing a field's values into the input field file: whatever the position of a value
// among its neighbours, it becomes the same float, bit for bit: the fill value for a
// point without data, an infinity of its sign beyond the float range, NaN kept for the
// check to refuse.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "common/constants.hpp"
#include "companion/prepare/plausibility.hpp"
#include "companion/prepare/source_field.hpp"

namespace c2m::prepare {
namespace {

constexpr double missing = -1e100;

// What a value must become, worked out one value at a time.
float expected(double stored, double divisor) {
  if (stored == missing) return input_fill;
  const double v = stored / divisor;
  if (std::isnan(v)) return static_cast<float>(v);
  if (std::fabs(v) > std::numeric_limits<float>::max())
    return std::copysign(std::numeric_limits<float>::infinity(), static_cast<float>(v));
  return static_cast<float>(v);
}

TEST(place, every_value_becomes_the_same_float_wherever_it_lies_in_the_row) {
  const double flt_max = std::numeric_limits<float>::max();
  const std::vector<double> odd = {
      missing,
      std::nan(""),
      -std::nan(""),
      INFINITY,
      -INFINITY,
      1e300,
      -1e300,
      flt_max,
      -flt_max,
      std::nextafter(flt_max, INFINITY),  // rounds to the largest float, yet beyond it
      -std::nextafter(flt_max, INFINITY),
      -0.0,
      1e-310,
      1e-40,
      287.15,
      -3.5e38,
      3.5e38};
  // A row long enough for whole steps and a remainder, each odd value at every offset.
  const std::size_t im = 23;
  for (const double divisor : {1.0, 9.80665})
    for (std::size_t shift = 0; shift < 4; ++shift)
      for (const double v : odd) {
        std::vector<double> values(im, 1000.0);
        for (std::size_t i = shift; i < im; i += 5) values[i] = v;
        window w;
        w.im = static_cast<std::int32_t>(im);
        w.jm = 1;
        w.row = {0};
        for (std::size_t i = 0; i < im; ++i) w.col.push_back(i);
        field_kind kind;
        kind.divisor = divisor;
        std::vector<float> out(im, 0.0f);
        summarizer rows(0, true);
        place(values, missing, w, kind, out.data(), rows);
        for (std::size_t i = 0; i < im; ++i) {
          const float want = expected(values[i], divisor);
          EXPECT_EQ(std::memcmp(&out[i], &want, sizeof want), 0)
              << "value " << values[i] << " at " << i << " over " << divisor << ": got " << out[i]
              << ", want " << want;
        }
      }
}

}  // namespace
}  // namespace c2m::prepare

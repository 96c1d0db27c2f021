#include <algorithm>
#include <array>
#include <vector>

#include "thermo/humidity.hpp"
#include "thermo/module_estab.hpp"

namespace c2m {

std::int32_t esat_index(float tp) {
  const float x = 100.0f * tp;
  // Below the table, NaN and beyond the 32-bit range take the first entry; in between,
  // the value is clamped to the last entry before it is truncated, so the conversion is
  // always defined. Written as one selection, the loop in rh_to_q vectorises.
  const bool inside = x > static_cast<float>(estab::first_index) && x < 2147483648.0f;
  return inside ? static_cast<std::int32_t>(std::min(x, static_cast<float>(estab::last_index)))
                : estab::first_index;
}

namespace {

float saturation_factor(float e, float p) {
  return (0.00622f * e) / (p - e);
}

}  // namespace

grid rh_to_q(const grid& tp, std::span<const float> pr, grid rh) {
  // The factor 0.00622 e / (p - e) depends on a point only through its table entry. A
  // level with more points than the table has entries tabulates it once for its
  // pressure, so that each point costs a look-up and a multiplication instead of a
  // division; smaller levels divide at every point. Both give the same values.
  const std::size_t points = tp.level_size();
  std::vector<float> factor(points > estab::table_size ? estab::table_size : 0);
  for (std::int32_t l = 1; l <= tp.nl; ++l) {
    const float p = pr[static_cast<std::size_t>(l - 1)];
    const float* t = tp.level(l);
    float* q = rh.level(l);  // rh on entry, qnew2 on exit
    if (factor.empty()) {
      for (std::size_t i = 0; i < points; ++i)
        q[i] = q[i] * saturation_factor(estab::esat_at(esat_index(t[i])), p);
      continue;
    }
    for (std::size_t n = 0; n < estab::table_size; ++n)
      factor[n] = saturation_factor(estab::esat[n], p);
    // The table indices of a block of points are formed first, by a loop that the
    // compiler vectorises; the look-ups follow.
    std::array<std::int32_t, 256> entry;
    for (std::size_t start = 0; start < points; start += entry.size()) {
      const std::size_t n = std::min(entry.size(), points - start);
      for (std::size_t i = 0; i < n; ++i) entry[i] = esat_index(t[start + i]) - estab::first_index;
      for (std::size_t i = 0; i < n; ++i)
        q[start + i] = q[start + i] * factor[static_cast<std::size_t>(entry[i])];
    }
  }
  return rh;
}

}  // namespace c2m

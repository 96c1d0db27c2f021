#include "thermo/humidity.hpp"
#include "thermo/module_estab.hpp"

namespace c2m {

std::int32_t esat_index(float tp) {
  const float x = 100.0f * tp;
  // The explicit range test keeps the conversion defined; NaN fails it too.
  std::int32_t n = estab::first_index;
  if (x > -2147483648.0f && x < 2147483648.0f) n = static_cast<std::int32_t>(x);
  if (n < estab::first_index) n = estab::first_index;
  if (n > estab::last_index) n = estab::last_index;
  return n;
}

grid rh_to_q(const grid& tp, std::span<const float> pr, grid rh) {
  const std::size_t points = tp.level_size();
  for (std::int32_t l = 1; l <= tp.nl; ++l) {
    const float p = pr[static_cast<std::size_t>(l - 1)];
    const float* t = tp.level(l);
    float* q = rh.level(l);  // rh on entry, qnew2 on exit
    for (std::size_t i = 0; i < points; ++i) {
      const float e = estab::esat_at(esat_index(t[i]));
      const float qs = (0.00622f * e) / (p - e);
      q[i] = q[i] * qs;
    }
  }
  return rh;
}

}  // namespace c2m

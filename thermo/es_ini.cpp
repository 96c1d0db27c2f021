#include <math.h>

#include "thermo/module_estab.hpp"

namespace c2m::estab {

// The Goff-Gratch saturation vapour pressure over plane water, evaluated in single
// precision with the C library's scalar log10f and powf, in exactly this order: one ulp
// of log10f moves an entry by about 30 ulps, and every humidity value reads the table.
void es_ini() {
  for (std::int32_t n = first_index; n <= last_index; ++n) {
    const float t = static_cast<float>(n) * 0.01f;
    const float a = 11.344f - 0.0303998f * t;
    const float b = 3.49149f - 1302.8844f / t;
    float c = 23.832241f - 5.02808f * ::log10f(t);
    c = c - 1.3816e-7f * ::powf(10.0f, a);
    c = ::powf(10.0f, b) * 8.1328e-3f + c;
    c = c - 2949.076f / t;
    esat[static_cast<std::size_t>(n - first_index)] = ::powf(10.0f, c);
  }
}

}  // namespace c2m::estab

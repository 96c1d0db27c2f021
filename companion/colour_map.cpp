#include "companion/colour_map.hpp"

#include <array>
#include <cmath>

namespace c2m::inspect {

namespace {

// Nine evenly spaced colours of viridis; linear steps between them stay within a few
// units of the full table.
constexpr std::array<rgb, 9> stops = {{
    {0x44, 0x01, 0x54},
    {0x47, 0x2c, 0x7a},
    {0x3b, 0x51, 0x8b},
    {0x2c, 0x71, 0x8e},
    {0x21, 0x90, 0x8d},
    {0x27, 0xad, 0x81},
    {0x5c, 0xc8, 0x63},
    {0xaa, 0xdc, 0x32},
    {0xfd, 0xe7, 0x25},
}};

std::uint8_t mix(std::uint8_t a, std::uint8_t b, double f) {
  return static_cast<std::uint8_t>(std::lround(a + (static_cast<double>(b) - a) * f));
}

}  // namespace

rgb viridis(double t) {
  if (!(t > 0.0)) return stops.front();
  if (t >= 1.0) return stops.back();
  const double x = t * (stops.size() - 1);
  const std::size_t k = static_cast<std::size_t>(x);
  const double f = x - static_cast<double>(k);
  return {mix(stops[k].r, stops[k + 1].r, f), mix(stops[k].g, stops[k + 1].g, f),
          mix(stops[k].b, stops[k + 1].b, f)};
}

}  // namespace c2m::inspect

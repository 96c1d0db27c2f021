#include "companion/inspect/colour_map.hpp"

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

// Blue to red through white, after ColorBrewer's RdBu, darkest ends left out.
constexpr std::array<rgb, 9> diverging = {{
    {0x21, 0x66, 0xac},
    {0x43, 0x93, 0xc3},
    {0x92, 0xc5, 0xde},
    {0xd1, 0xe5, 0xf0},
    {0xff, 0xff, 0xff},
    {0xfd, 0xdb, 0xc7},
    {0xf4, 0xa5, 0x82},
    {0xd6, 0x60, 0x4d},
    {0xb2, 0x18, 0x2b},
}};

std::uint8_t mix(std::uint8_t a, std::uint8_t b, double f) {
  return static_cast<std::uint8_t>(std::lround(a + (static_cast<double>(b) - a) * f));
}

rgb along(const std::array<rgb, 9>& scale, double t) {
  if (!(t > 0.0)) return scale.front();
  if (t >= 1.0) return scale.back();
  const double x = t * (scale.size() - 1);
  const std::size_t k = static_cast<std::size_t>(x);
  const double f = x - static_cast<double>(k);
  return {mix(scale[k].r, scale[k + 1].r, f), mix(scale[k].g, scale[k + 1].g, f),
          mix(scale[k].b, scale[k + 1].b, f)};
}

}  // namespace

rgb viridis(double t) {
  return along(stops, t);
}

rgb blue_white_red(double t) {
  return along(diverging, t);
}

}  // namespace c2m::inspect

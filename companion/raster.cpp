#include "companion/raster.hpp"

#include <cstddef>

namespace c2m::inspect {

raster::raster(int w, int h, rgb background)
    : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3) {
  fill(0, 0, w, h, background);
}

void raster::set(int x, int y, rgb c) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                             static_cast<std::size_t>(x)) *
                            3];
  p[0] = c.r;
  p[1] = c.g;
  p[2] = c.b;
}

rgb raster::get(int x, int y) const {
  const std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                   static_cast<std::size_t>(x)) *
                                  3];
  return {p[0], p[1], p[2]};
}

void raster::fill(int x, int y, int w, int h, rgb c) {
  for (int yy = y; yy < y + h; ++yy)
    for (int xx = x; xx < x + w; ++xx) set(xx, yy, c);
}

void raster::frame(int x, int y, int w, int h, rgb c) {
  fill(x, y, w, 1, c);
  fill(x, y + h - 1, w, 1, c);
  fill(x, y, 1, h, c);
  fill(x + w - 1, y, 1, h, c);
}

}  // namespace c2m::inspect

// An RGB picture in memory, rows from the top, and the few drawing operations the
// quick-look pictures need.
#pragma once

#include <cstdint>
#include <vector>

namespace c2m::inspect {

struct rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const rgb&) const = default;
};

struct raster {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;  // r, g, b for each pixel, row after row

  raster(int w, int h, rgb background);
  void set(int x, int y, rgb c);  // ignores points outside the picture
  rgb get(int x, int y) const;
  void fill(int x, int y, int w, int h, rgb c);
  void frame(int x, int y, int w, int h, rgb c);  // one-pixel outline
};

}  // namespace c2m::inspect

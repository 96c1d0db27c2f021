// Grids of the run: dimensions plus contiguous float storage, i fastest, then j, then
// the level (or surface field) index. Accessors are 1-based like the algorithms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace c2m {

struct grid {
  std::int32_t im = 0;
  std::int32_t jm = 0;
  std::int32_t nl = 0;  // levels of a 3-D grid, or fields of the surface stack
  std::unique_ptr<float[]> data;

  std::size_t level_size() const {
    return static_cast<std::size_t>(im) * static_cast<std::size_t>(jm);
  }
  std::size_t size() const { return level_size() * static_cast<std::size_t>(nl); }
  float* level(std::int32_t l) {
    return data.get() + level_size() * static_cast<std::size_t>(l - 1);
  }
  const float* level(std::int32_t l) const {
    return data.get() + level_size() * static_cast<std::size_t>(l - 1);
  }
  float& at(std::int32_t i, std::int32_t j, std::int32_t l) {
    return level(l)[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(im) +
                    static_cast<std::size_t>(i - 1)];
  }
  float at(std::int32_t i, std::int32_t j, std::int32_t l) const {
    return level(l)[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(im) +
                    static_cast<std::size_t>(i - 1)];
  }
  std::span<float> all() { return {data.get(), size()}; }
  std::span<const float> all() const { return {data.get(), size()}; }
};

// Element count im * jm * nl in 64 bits; a count of 2^62 or more is refused.
std::uint64_t grid_elements(std::int32_t im, std::int32_t jm, std::int32_t nl);

// Allocates a grid without initialising it: every grid is filled by a read or a
// derivation before anything looks at it.
grid make_grid(std::int32_t im, std::int32_t jm, std::int32_t nl);

}  // namespace c2m

// Grids of the run: dimensions plus contiguous float storage, i fastest, then j, then
// the level (or surface field) index. Accessors are 1-based like the algorithms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace c2m {

inline constexpr std::size_t huge_page = std::size_t{2} << 20;

// bytes (a multiple of 2 MiB) of readable and writable address space starting on a
// 2 MiB boundary, or null when the system refuses it. Released with munmap.
void* reserve_aligned(std::size_t bytes);

// Memory of a grid: anonymous, starting on a 2 MiB boundary and advised for
// transparent huge pages, so that a large grid costs one page fault per 2 MiB rather
// than one per 4 KiB. Where the kernel gives no huge pages it is ordinary memory.
// Empty when the grid is a view of the mapped input file (common/mapped_input.hpp).
struct grid_memory {
  void* start = nullptr;
  std::size_t bytes = 0;  // reserved: the request rounded up to whole 2 MiB

  grid_memory() = default;
  grid_memory(grid_memory&& other) noexcept;
  grid_memory& operator=(grid_memory&& other) noexcept;
  ~grid_memory();
};

struct grid {
  std::int32_t im = 0;
  std::int32_t jm = 0;
  std::int32_t nl = 0;    // levels of a 3-D grid, or fields of the surface stack
  float* data = nullptr;  // the values: in memory, or a view of the mapped input
  grid_memory memory;     // holds data unless the grid is a view

  std::size_t level_size() const {
    return static_cast<std::size_t>(im) * static_cast<std::size_t>(jm);
  }
  std::size_t size() const { return level_size() * static_cast<std::size_t>(nl); }
  float* level(std::int32_t l) { return data + level_size() * static_cast<std::size_t>(l - 1); }
  const float* level(std::int32_t l) const {
    return data + level_size() * static_cast<std::size_t>(l - 1);
  }
  float& at(std::int32_t i, std::int32_t j, std::int32_t l) {
    return level(l)[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(im) +
                    static_cast<std::size_t>(i - 1)];
  }
  float at(std::int32_t i, std::int32_t j, std::int32_t l) const {
    return level(l)[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(im) +
                    static_cast<std::size_t>(i - 1)];
  }
  std::span<float> all() { return {data, size()}; }
  std::span<const float> all() const { return {data, size()}; }
};

// Element count im * jm * nl in 64 bits; a count of 2^62 or more is refused.
std::uint64_t grid_elements(std::int32_t im, std::int32_t jm, std::int32_t nl);

// Allocates a grid without initialising it: every grid is filled by a read or a
// derivation before anything looks at it. Untouched memory costs nothing, so a grid
// that becomes a view of the input has only reserved its address range.
grid make_grid(std::int32_t im, std::int32_t jm, std::int32_t nl);

}  // namespace c2m

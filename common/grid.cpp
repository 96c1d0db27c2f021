#include "common/grid.hpp"

#include <new>

#include "common/errors.hpp"

namespace c2m {

std::uint64_t grid_elements(std::int32_t im, std::int32_t jm, std::int32_t nl) {
  constexpr std::uint64_t limit = std::uint64_t{1} << 62;
  if (im <= 0 || jm <= 0 || nl <= 0) return 0;
  const std::uint64_t a = static_cast<std::uint64_t>(im) * static_cast<std::uint64_t>(jm);
  // a < 2^62 always (both factors are below 2^31); nl > (limit - 1) / a is a * nl >= limit,
  // tested before the product is formed.
  if (static_cast<std::uint64_t>(nl) > (limit - 1) / a)
    throw run_error("Integer overflow when calculating the amount of memory to allocate");
  return a * static_cast<std::uint64_t>(nl);
}

grid make_grid(std::int32_t im, std::int32_t jm, std::int32_t nl) {
  const std::uint64_t n = grid_elements(im, jm, nl);
  grid g;
  if (n > SIZE_MAX / sizeof(float))
    throw run_error("Integer overflow when calculating the amount of memory to allocate");
  g.data.reset(new (std::nothrow) float[static_cast<std::size_t>(n == 0 ? 1 : n)]);
  if (!g.data) throw run_error("Allocation would exceed memory limit");
  g.im = im;
  g.jm = jm;
  g.nl = nl;
  return g;
}

}  // namespace c2m

#include "common/grid.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <utility>

#include "common/errors.hpp"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define C2M_POISON(start, bytes) ASAN_POISON_MEMORY_REGION(start, bytes)
#define C2M_UNPOISON(start, bytes) ASAN_UNPOISON_MEMORY_REGION(start, bytes)
#else
#define C2M_POISON(start, bytes) ((void)(start), (void)(bytes))
#define C2M_UNPOISON(start, bytes) ((void)(start), (void)(bytes))
#endif

namespace c2m {

// Reserve 2 MiB more, then give back what lies before and after the aligned range.
void* reserve_aligned(std::size_t bytes) {
  void* p = ::mmap(nullptr, bytes + huge_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                   -1, 0);
  if (p == MAP_FAILED) return nullptr;
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t start = (at + huge_page - 1) & ~(huge_page - 1);
  if (start > at) ::munmap(p, start - at);
  ::munmap(reinterpret_cast<void*>(start + bytes), at + huge_page - start);
  return reinterpret_cast<void*>(start);
}

grid_memory::grid_memory(grid_memory&& other) noexcept
    : start(std::exchange(other.start, nullptr)), bytes(std::exchange(other.bytes, 0)) {}

grid_memory& grid_memory::operator=(grid_memory&& other) noexcept {
  if (this != &other) {
    grid_memory released(std::move(*this));
    start = std::exchange(other.start, nullptr);
    bytes = std::exchange(other.bytes, 0);
  }
  return *this;
}

grid_memory::~grid_memory() {
  if (start == nullptr) return;
  C2M_UNPOISON(start, bytes);
  ::munmap(start, bytes);
}

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
  if (n > (SIZE_MAX - 2 * huge_page) / sizeof(float))
    throw run_error("Integer overflow when calculating the amount of memory to allocate");
  const std::size_t used = static_cast<std::size_t>(n == 0 ? 1 : n) * sizeof(float);
  const std::size_t bytes = (used + huge_page - 1) & ~(huge_page - 1);
  grid g;
  g.memory.start = reserve_aligned(bytes);
  if (g.memory.start == nullptr) throw run_error("Allocation would exceed memory limit");
  g.memory.bytes = bytes;
  // Without huge pages the advice is refused; the memory works all the same.
  ::madvise(g.memory.start, bytes, MADV_HUGEPAGE);
  // An access beyond the grid is caught by AddressSanitizer as on the heap.
  C2M_POISON(static_cast<char*>(g.memory.start) + used, bytes - used);
  g.data = static_cast<float*>(g.memory.start);
  g.im = im;
  g.jm = jm;
  g.nl = nl;
  return g;
}

}  // namespace c2m

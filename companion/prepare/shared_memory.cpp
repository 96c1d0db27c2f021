#include "companion/prepare/shared_memory.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/errors.hpp"

namespace c2m::prepare {

namespace {

struct region {
  std::uintptr_t start;
  std::size_t bytes;
};

// The regions alive in this process; a decoding process inherits the list.
std::vector<region>& regions() {
  static std::vector<region> all;
  return all;
}

std::uintptr_t page() {
  return static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace

shared_memory::shared_memory(std::size_t bytes) : bytes_(bytes) {
  if (bytes == 0) return;
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED)
    throw run_error(os_error("conv2model-prepare", "cannot map memory for the records"));
  start_ = p;
  regions().push_back({reinterpret_cast<std::uintptr_t>(p), bytes});
}

shared_memory::~shared_memory() {
  if (!start_) return;
  std::vector<region>& all = regions();
  all.erase(std::remove_if(all.begin(), all.end(),
                           [&](const region& r) {
                             return r.start == reinterpret_cast<std::uintptr_t>(start_);
                           }),
            all.end());
  ::munmap(start_, bytes_);
}

bool shared_memory::holds(const void* p, std::size_t bytes) {
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  return std::any_of(regions().begin(), regions().end(), [&](const region& r) {
    return at >= r.start && bytes <= r.bytes && at - r.start <= r.bytes - bytes;
  });
}

void shared_memory::protect_all() {
  for (const region& r : regions())
    if (::mprotect(reinterpret_cast<void*>(r.start), r.bytes, PROT_READ) != 0)
      throw run_error(os_error("conv2model-prepare", "cannot protect the records"));
}

shared_memory::writable::writable(void* p, std::size_t bytes) {
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t first = at & ~(page() - 1);
  start_ = reinterpret_cast<void*>(first);
  length_ = at + bytes - first;
  if (::mprotect(start_, length_, PROT_READ | PROT_WRITE) != 0)
    throw run_error(os_error("conv2model-prepare", "cannot open a record for writing"));
}

shared_memory::writable::~writable() {
  ::mprotect(start_, length_, PROT_READ);
}

}  // namespace c2m::prepare

#include "common/mapped_input.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <utility>

#include "common/errors.hpp"

namespace c2m {

namespace {

// The mapping the SIGBUS handler guards, one at a time: a signal handler can only find
// it in process-wide state.
std::atomic<std::uintptr_t> guarded_start{0};
std::atomic<std::uintptr_t> guarded_end{0};
std::atomic<std::uintptr_t> guarded_page{4096};
volatile std::sig_atomic_t guarded_fault = 0;
struct sigaction previous_sigbus {};

void on_sigbus(int, siginfo_t* info, void*) {
  const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
  const std::uintptr_t end = guarded_end.load();
  if (at >= guarded_start.load() && at < end) {
    // A cut file loses everything past its new end: zeros from the faulting page to the
    // end of the mapping, in one call, and the access is made again.
    const std::uintptr_t page = at & ~(guarded_page.load() - 1);
    if (::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ | PROT_WRITE,
               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      guarded_fault = 1;
      return;
    }
  }
  // Not the mapping's: the access is made again under the action that was there before.
  ::sigaction(SIGBUS, &previous_sigbus, nullptr);
}

void guard(char* base, std::size_t bytes) {
  guarded_fault = 0;
  guarded_page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  guarded_start = reinterpret_cast<std::uintptr_t>(base);
  guarded_end = reinterpret_cast<std::uintptr_t>(base) + bytes;
  struct sigaction action {};
  action.sa_sigaction = on_sigbus;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, &previous_sigbus);
}

void unguard() {
  ::sigaction(SIGBUS, &previous_sigbus, nullptr);
  guarded_start = 0;
  guarded_end = 0;
}

}  // namespace

mapped_input::mapped_input(mapped_input&& other) noexcept
    : name(std::move(other.name)),
      fd(std::move(other.fd)),
      base(std::exchange(other.base, nullptr)),
      size(std::exchange(other.size, 0)),
      used(std::exchange(other.used, 0)) {}

mapped_input& mapped_input::operator=(mapped_input&& other) noexcept {
  if (this != &other) {
    mapped_input released(std::move(*this));
    name = std::move(other.name);
    fd = std::move(other.fd);
    base = std::exchange(other.base, nullptr);
    size = std::exchange(other.size, 0);
    used = std::exchange(other.used, 0);
  }
  return *this;
}

mapped_input::~mapped_input() {
  if (base != nullptr) {
    unguard();
    ::munmap(base, (size + huge_page - 1) & ~(huge_page - 1));
  }
}

mapped_input map_input(const std::string& name, int fd, std::uint64_t size) {
  mapped_input m;
  m.name = name;
  if (size == 0 || size > SIZE_MAX - huge_page || guarded_end.load() != 0) return m;
  const auto bytes = static_cast<std::size_t>(size);
  const std::size_t reserved = (bytes + huge_page - 1) & ~(huge_page - 1);
  void* start = reserve_aligned(reserved);
  if (start == nullptr) return m;
  // Only the views' pages are ever touched: the records read into the run's own memory
  // never enter the mapping, so they are not resident twice.
  if (::mmap(start, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED, fd, 0) == MAP_FAILED) {
    ::munmap(start, reserved);
    return m;
  }
  m.fd = unique_fd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
  if (!m.fd.is_open()) {
    ::munmap(start, reserved);
    return m;
  }
  m.base = static_cast<char*>(start);
  m.size = bytes;
  guard(m.base, reserved);
  return m;
}

bool view_grid(mapped_input& input, std::uint64_t offset, grid& g) {
  const std::uint64_t bytes = g.size() * sizeof(float);
  if (input.base == nullptr || offset % alignof(float) != 0 || offset > input.size ||
      bytes > input.size - offset)
    return false;
  g.data = reinterpret_cast<float*>(input.base + offset);
  g.memory = grid_memory{};
  input.used = std::max(input.used, offset + bytes);
  return true;
}

bool is_mapped_input(const mapped_input& input, int fd) {
  struct stat in {};
  struct stat other {};
  return input.base != nullptr && ::fstat(input.fd.get(), &in) == 0 && ::fstat(fd, &other) == 0 &&
         in.st_dev == other.st_dev && in.st_ino == other.st_ino;
}

void check_input_intact(const mapped_input& input) {
  if (input.base == nullptr) return;
  struct stat st {};
  if (::fstat(input.fd.get(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) < input.used)
    throw run_error(input.name + ": the file was cut while it was being converted: it holds " +
                    std::to_string(st.st_size) + " bytes, its records end at byte " +
                    std::to_string(input.used));
  if (guarded_fault)
    throw run_error(input.name +
                    ": part of the file could not be read while it was being "
                    "converted (it changed under the run)");
}

}  // namespace c2m

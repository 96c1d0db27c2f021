// io_floor: the I/O that a conversion cannot avoid, and nothing else.
//   io_floor plain|huge|mapped INPUT OUTPUT
// Reads the input field file's framed records and writes the grid records (the five
// 3-D fields and the surface stack, leaving out the level count and the pressures) back
// to back into OUTPUT with one positioned write each: a file of the work file's size,
// written the way the converter writes it. OUTPUT is overwritten in place like the work
// file, not emptied first. The way the input reaches memory is the mode:
//   plain   each record's data read straight into its own freshly allocated buffer;
//   huge    the same reads into 2 MiB-aligned buffers advised for transparent huge
//           pages (on a kernel with them off these are plain pages again);
//   mapped  the whole file mapped and populated up front, 2 MiB-aligned so that the
//           page cache's large folios can be mapped whole; the records go to OUTPUT
//           straight from the mapping.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/grid.hpp"

namespace {

[[noreturn]] void fail(const std::string& file, const char* what) {
  std::fprintf(stderr, "io_floor: %s: %s: %s\n", file.c_str(), what, std::strerror(errno));
  std::exit(1);
}

bool read_full(int fd, void* dest, std::size_t n) {
  auto* p = static_cast<char*>(dest);
  while (n > 0) {
    const ssize_t r = ::read(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

void write_full(int fd, const std::string& name, const char* p, std::size_t n,
                std::uint64_t offset) {
  while (n > 0) {
    const ssize_t w = ::pwrite(fd, p, n, static_cast<off_t>(offset));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) fail(name, "cannot write");
    p += w;
    n -= static_cast<std::size_t>(w);
    offset += static_cast<std::uint64_t>(w);
  }
}

std::size_t whole_huge_pages(std::size_t n) {
  return (n + c2m::huge_page - 1) & ~(c2m::huge_page - 1);
}

// n bytes and more, up to whole 2 MiB, starting on a 2 MiB boundary.
char* aligned_reserve(std::size_t n) {
  return static_cast<char*>(c2m::reserve_aligned(whole_huge_pages(n)));
}

struct record {
  const char* data = nullptr;  // owned by the mode's storage
  std::uint32_t size = 0;
};

std::vector<record> read_records(int in, const std::string& input, bool huge,
                                 std::vector<std::unique_ptr<char[]>>& plain_store) {
  std::vector<record> records;
  std::uint32_t length = 0;
  while (read_full(in, &length, sizeof length)) {
    char* buffer = nullptr;
    if (huge) {
      buffer = aligned_reserve(length == 0 ? 1 : length);
      if (buffer == nullptr) fail(input, "cannot allocate");
      ::madvise(buffer, whole_huge_pages(length), MADV_HUGEPAGE);
    } else {
      plain_store.emplace_back(new char[length == 0 ? 1 : length]);  // not initialised
      buffer = plain_store.back().get();
    }
    std::uint32_t trailing = 0;
    if (!read_full(in, buffer, length) || !read_full(in, &trailing, sizeof trailing) ||
        trailing != length) {
      errno = EINVAL;
      fail(input, "malformed record");
    }
    records.push_back({buffer, length});
  }
  return records;
}

std::vector<record> map_records(int in, const std::string& input) {
  struct stat st {};
  if (::fstat(in, &st) != 0) fail(input, "cannot examine");
  const auto size = static_cast<std::size_t>(st.st_size);
  char* base = aligned_reserve(size);
  if (base == nullptr ||
      ::mmap(base, size, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, in, 0) == MAP_FAILED)
    fail(input, "cannot map");
  std::vector<record> records;
  std::size_t at = 0;
  while (at + 4 <= size) {
    std::uint32_t length = 0;
    std::uint32_t trailing = 0;
    std::memcpy(&length, base + at, 4);
    if (size - at - 4 < std::size_t{length} + 4 ||
        (std::memcpy(&trailing, base + at + 4 + length, 4), trailing != length)) {
      errno = EINVAL;
      fail(input, "malformed record");
    }
    records.push_back({base + at + 4, length});
    at += std::size_t{length} + 8;
  }
  return records;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 4 ? argv[1] : "";
  if (mode != "plain" && mode != "huge" && mode != "mapped") {
    std::fprintf(stderr, "usage: io_floor plain|huge|mapped INPUT OUTPUT\n");
    return 2;
  }
  const std::string input = argv[2];
  const std::string output = argv[3];

  const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) fail(input, "cannot open");
  std::vector<std::unique_ptr<char[]>> plain_store;
  const std::vector<record> records = mode == "mapped"
                                          ? map_records(in, input)
                                          : read_records(in, input, mode == "huge", plain_store);
  ::close(in);
  if (records.size() != 8) {
    errno = EINVAL;
    fail(input, "not an input field file of 8 records");
  }

  const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (out < 0) fail(output, "cannot open");
  std::uint64_t offset = 0;
  for (std::size_t k : {1, 2, 3, 4, 5, 7}) {
    write_full(out, output, records[k].data, records[k].size, offset);
    offset += records[k].size;
  }
  if (::close(out) != 0) fail(output, "cannot close");
  return 0;
}

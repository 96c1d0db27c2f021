// io_floor: the I/O that a conversion cannot avoid, and nothing else.
//   io_floor INPUT OUTPUT
// Reads the input field file record by record into memory, each record's data with one
// read straight into its own buffer between the reads of its two length markers, then
// writes the grid records (the five 3-D fields and the surface stack, leaving out the
// level count and the pressures) back to back into OUTPUT with one positioned write
// each: a file of the work file's size, written the way the converter writes it.
// OUTPUT is overwritten in place like the work file, not emptied first.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

struct record {
  std::unique_ptr<char[]> data;  // not initialised: the read fills it
  std::uint32_t size = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: io_floor INPUT OUTPUT\n");
    return 2;
  }
  const std::string input = argv[1];
  const std::string output = argv[2];

  const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) fail(input, "cannot open");
  struct stat st {};
  if (::fstat(in, &st) != 0) fail(input, "cannot examine");
  std::vector<record> records;
  std::uint32_t length = 0;
  while (read_full(in, &length, sizeof length)) {
    record r;
    r.size = length;
    r.data.reset(new char[length == 0 ? 1 : length]);
    std::uint32_t trailing = 0;
    if (!read_full(in, r.data.get(), length) || !read_full(in, &trailing, sizeof trailing) ||
        trailing != length) {
      errno = EINVAL;
      fail(input, "malformed record");
    }
    records.push_back(std::move(r));
  }
  ::close(in);
  if (records.size() != 8) {
    errno = EINVAL;
    fail(input, "not an input field file of 8 records");
  }

  const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (out < 0) fail(output, "cannot open");
  std::uint64_t offset = 0;
  for (std::size_t k : {1, 2, 3, 4, 5, 7}) {
    write_full(out, output, records[k].data.get(), records[k].size, offset);
    offset += records[k].size;
  }
  if (::close(out) != 0) fail(output, "cannot close");
  return 0;
}

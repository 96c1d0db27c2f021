#include "common/file_io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/errors.hpp"
#include "common/unique_fd.hpp"

namespace c2m {

std::size_t read_up_to(int fd, const std::string& name, void* dest, std::size_t n) {
  auto* p = static_cast<char*>(dest);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t r = ::read(fd, p + done, n - done);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) throw run_error(os_error(name, "cannot read"));
    if (r == 0) break;
    done += static_cast<std::size_t>(r);
  }
  return done;
}

void read_exactly(int fd, const std::string& name, void* dest, std::size_t n,
                  std::string_view what) {
  const std::size_t got = read_up_to(fd, name, dest, n);
  if (got != n)
    throw run_error(name + ": " + std::string(what) + " ends after " + std::to_string(got) +
                    " of " + std::to_string(n) + " bytes");
}

std::string read_small_file(const std::string& path, std::string_view what, std::size_t limit_mib) {
  const std::string kind(what);
  const unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.is_open()) throw run_error(os_error(path, "cannot open " + kind));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw run_error(os_error(path, "cannot examine " + kind));
  if (S_ISDIR(st.st_mode)) throw run_error(path + ": is a directory, expected the " + kind);
  const std::size_t limit = limit_mib << 20;
  std::string text;
  char buf[65536];
  for (;;) {
    const std::size_t n = read_up_to(fd.get(), path, buf, sizeof buf);
    text.append(buf, n);
    if (text.size() > limit)
      throw run_error(path + ": larger than " + std::to_string(limit_mib) +
                      " MiB, too large for the " + kind);
    if (n < sizeof buf) break;
  }
  return text;
}

void write_new_file(const std::string& path, const std::string& name, std::string_view bytes) {
  unique_fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!fd.is_open()) throw run_error(os_error(name, "cannot create output file"));
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd.get(), bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw run_error(os_error(name, "cannot write output file"));
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  if (fd.close() != 0) throw run_error(os_error(name, "cannot write output file"));
}

}  // namespace c2m

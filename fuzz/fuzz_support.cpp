#include "fuzz/fuzz_support.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "thermo/module_estab.hpp"

namespace c2m::fuzz {

namespace {

std::string make_scratch() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "c2m-fuzz-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) std::abort();
  return tmpl;
}

void remove_scratch() {
  std::error_code ec;
  std::filesystem::remove_all(scratch(), ec);
}

}  // namespace

void init_once() {
  static const bool done = [] {
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    estab::es_ini();
    return true;
  }();
  (void)done;
}

const std::string& scratch() {
  // Never destroyed: the exit handler that removes the directory still needs its name.
  static const std::string* dir = [] {
    const auto* d = new std::string(make_scratch());
    std::atexit(remove_scratch);
    return d;
  }();
  return *dir;
}

void put_file(const std::string& path, const void* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) std::abort();
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n <= 0) std::abort();
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  ::close(fd);
}

}  // namespace c2m::fuzz

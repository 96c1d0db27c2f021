#include "common/field_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/byte_order.hpp"
#include "common/errors.hpp"

namespace c2m::field_file {

namespace {

std::array<unsigned char, marker_bytes> marker(std::size_t bytes) {
  const auto v = static_cast<std::uint32_t>(bytes);
  return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
          static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
}

}  // namespace

std::string framed(const void* data, std::size_t bytes) {
  const auto m = marker(bytes);
  std::string r(reinterpret_cast<const char*>(m.data()), m.size());
  r.append(static_cast<const char*>(data), bytes);
  r.append(reinterpret_cast<const char*>(m.data()), m.size());
  return r;
}

std::optional<std::span<const char>> record_at(std::span<const char> bytes, std::size_t at) {
  if (at > bytes.size() || bytes.size() - at < 2 * marker_bytes) return std::nullopt;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
  const std::uint32_t length = load_le32(p);
  if (bytes.size() - at - 2 * marker_bytes < length ||
      load_le32(p + marker_bytes + length) != length)
    return std::nullopt;
  return bytes.subspan(at + marker_bytes, length);
}

writer::writer(const std::string& path, std::string name)
    : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666)), name_(std::move(name)) {
  if (!fd_.is_open()) throw run_error(os_error(name_, "cannot create output file"));
  // Only a file with contents is cut: on ext4, truncating even an empty file (the
  // temporary a staged output has just made) marks it to be flushed to disk at close,
  // which would make every close wait for the allocation of the whole file.
  struct stat st {};
  if (::fstat(fd_.get(), &st) != 0 ||
      (S_ISREG(st.st_mode) && st.st_size > 0 && ::ftruncate(fd_.get(), 0) != 0))
    throw run_error(os_error(name_, "cannot create output file"));
}

void writer::put(const void* data, std::size_t bytes) {
  if (bytes > longest_record)
    throw run_error(name_ + ": a record of " + std::to_string(bytes) +
                    " bytes is longer than a length marker can state");
  auto m = marker(bytes);
  iovec parts[3] = {{m.data(), m.size()}, {const_cast<void*>(data), bytes}, {m.data(), m.size()}};
  iovec* next = parts;
  int left = 3;
  // One call writes the record; a call cut short (a signal, a full pipe) goes on
  // where it stopped.
  while (left > 0) {
    const ssize_t n = ::writev(fd_.get(), next, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw run_error(os_error(name_, "cannot write output file"));
    auto done = static_cast<std::size_t>(n);
    while (left > 0 && done >= next->iov_len) {
      done -= next->iov_len;
      ++next;
      --left;
    }
    if (left > 0) {
      next->iov_base = static_cast<char*>(next->iov_base) + done;
      next->iov_len -= done;
    }
  }
}

void writer::close() {
  if (fd_.close() != 0) throw run_error(os_error(name_, "cannot write output file"));
}

void write(const std::string& path, const std::string& name, const contents& c) {
  writer out(path, name);
  out.put(&c.lm, sizeof c.lm);
  for (const std::span<const float> v : {c.uw, c.vw, c.ht, c.rh, c.tp, c.pressures, c.surface})
    out.put(v.data(), v.size_bytes());
  out.close();
}

}  // namespace c2m::field_file

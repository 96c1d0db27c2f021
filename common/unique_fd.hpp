// An open file descriptor that closes itself: whatever path a reader or writer leaves
// by, an exception included, the descriptor it opened is closed exactly once.
#pragma once

#include <unistd.h>

#include <utility>

namespace c2m {

class unique_fd {
 public:
  unique_fd() = default;
  explicit unique_fd(int fd) noexcept : fd_(fd) {}
  ~unique_fd() { close(); }
  unique_fd(unique_fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  unique_fd& operator=(unique_fd&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  unique_fd(const unique_fd&) = delete;
  unique_fd& operator=(const unique_fd&) = delete;

  int get() const noexcept { return fd_; }
  bool is_open() const noexcept { return fd_ >= 0; }

  // Closes now and returns what close returned (0 when nothing was open): a written
  // file whose close fails has not been written.
  int close() noexcept {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 ? 0 : ::close(fd);
  }

 private:
  int fd_ = -1;
};

}  // namespace c2m

#include "common/errors.hpp"

#include <cerrno>
#include <cstring>

namespace c2m {

std::string os_error(const std::string& file, const std::string& what) {
  return file + ": " + what + ": " + std::strerror(errno);
}

}  // namespace c2m

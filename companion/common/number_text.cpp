#include "companion/common/number_text.hpp"

#include <cstdio>

namespace c2m::companion {

std::string short_number(double value, int digits) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
  return buffer;
}

}  // namespace c2m::companion

#include "common/step_timing.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace c2m {

step_timer::step_timer() {
  const char* v = std::getenv("CONV2MODEL_TIMING");
  on_ = v != nullptr && std::strcmp(v, "1") == 0;
  last_ = std::chrono::steady_clock::now();
}

void step_timer::lap(const char* step) {
  if (!on_) return;
  const auto t = std::chrono::steady_clock::now();
  const std::chrono::duration<double, std::milli> ms = t - last_;
  std::fprintf(stderr, "conv2model timing: %s %.3f ms\n", step, ms.count());
  last_ = t;
}

}  // namespace c2m

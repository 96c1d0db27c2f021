// Wall time of the steps of a run, for performance work. With CONV2MODEL_TIMING=1 in
// the environment every lap prints "conv2model timing: STEP MS ms" on standard error;
// otherwise nothing is printed. The progress log on standard output never changes.
#pragma once

#include <chrono>

namespace c2m {

class step_timer {
 public:
  step_timer();  // reads CONV2MODEL_TIMING and starts the clock

  // Prints the time since the previous lap, or since the timer was made.
  void lap(const char* step);

 private:
  bool on_ = false;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace c2m

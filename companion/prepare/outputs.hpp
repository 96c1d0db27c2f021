// The names conv2model-prepare writes to: one input field file per valid time from a
// pattern.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "common/unique_fd.hpp"
#include "companion/common/staged_output.hpp"

namespace c2m::prepare {

// The name for a valid time ("2011-01-15T12:00Z") from a pattern with %Y %m %d %H %M
// (and %% for a percent sign). Throws usage_error for another % sequence.
std::string name_for_time(const std::string& pattern, const std::string& valid_time);

// Whether the pattern holds a time (%Y, %m, %d, %H or %M).
bool names_a_time(const std::string& pattern);

// The check that no output is one of the inputs, shared with the inspector.
using companion::check_outputs_are_not_inputs;

// Refuses two outputs that are one file by any spelling (sub/../InputModelInf.txt, its
// absolute path, a directory reached through a link): the second written would replace
// the first.
void check_outputs_are_distinct(const std::vector<std::string>& outputs);

// Held while the outputs are renamed into place: an exclusive lock on the working
// directory, where InputModelInf.txt goes. Two runs in one directory at once commit one
// after the other, so that InputModelInf.txt always comes with the input field files
// renamed beside it, never with another run's.
class commit_lock {
 public:
  commit_lock();

 private:
  unique_fd fd_;
};

// ./InputModelInf.txt as a run found it when it began. Two runs in one directory with
// different -o names both succeed, one after the other, and the configuration of the one
// that commits last stays: the other's input field files then lie beside a configuration
// that is not theirs. The run that commits last can tell, and says so.
class config_watch {
 public:
  config_watch();
  // Under the commit lock, before this run's configuration (at `ours`) replaces it:
  // whether another run wrote InputModelInf.txt since this one began, with other contents.
  bool replaced_by_another_run(const std::string& ours) const;

 private:
  struct ::stat at_start_ {};
  bool existed_ = false;
};

}  // namespace c2m::prepare

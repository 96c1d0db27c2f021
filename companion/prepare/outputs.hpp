// The names conv2model-prepare writes to: one input field file per valid time from a
// pattern, and the check that no output is one of the inputs.
#pragma once

#include <string>
#include <vector>

namespace c2m::prepare {

// The name for a valid time ("2011-01-15T12:00Z") from a pattern with %Y %m %d %H %M
// (and %% for a percent sign). Throws usage_error for another % sequence.
std::string name_for_time(const std::string& pattern, const std::string& valid_time);

// Whether the pattern holds a time (%Y, %m, %d, %H or %M).
bool names_a_time(const std::string& pattern);

// Refuses, before anything is written, an output that is one of the inputs: the same
// file (device and inode), whatever the name (links and .. included).
void check_outputs_are_not_inputs(const std::vector<std::string>& inputs,
                                  const std::vector<std::string>& outputs);

}  // namespace c2m::prepare

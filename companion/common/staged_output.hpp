// An output file written under a temporary name beside its final one and renamed into
// place when complete, so that a failed export never leaves a half-written file nor
// destroys an older one. The temporary name is registered for removal should a signal
// end the program.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "companion/common/temporaries.hpp"

namespace c2m::companion {

class staged_output {
 public:
  explicit staged_output(std::string path);
  ~staged_output();  // removes the temporary file unless committed
  staged_output(const staged_output&) = delete;
  staged_output& operator=(const staged_output&) = delete;

  const std::string& temp_path() const { return temp_; }
  void commit();  // renames the temporary file to the final name

 private:
  std::string path_;
  std::string temp_;
  bool committed_ = false;
  std::unique_ptr<companion::temporary_name> registered_;  // removed on a signal
};

// Refuses, before anything is written, an output that is one of the inputs: the same
// file (device and inode), whatever the name (links and .. included).
void check_outputs_are_not_inputs(const std::vector<std::string>& inputs,
                                  const std::vector<std::string>& outputs);

}  // namespace c2m::companion

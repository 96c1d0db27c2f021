// An output file written under a temporary name beside its final one and renamed into
// place when complete, so that a failed export never leaves a half-written file nor
// destroys an older one.
#pragma once

#include <string>

namespace c2m::inspect {

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
};

}  // namespace c2m::inspect

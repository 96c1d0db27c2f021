#include "companion/common/staged_output.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "common/errors.hpp"

namespace c2m::inspect {

staged_output::staged_output(std::string path) : path_(std::move(path)), temp_(path_ + ".XXXXXX") {
  const companion::signals_held held;
  const int fd = ::mkstemp(temp_.data());
  if (fd < 0) throw run_error(os_error(path_, "cannot create output file"));
  try {
    registered_ = std::make_unique<companion::temporary_name>(temp_);
  } catch (...) {
    ::unlink(temp_.c_str());
    ::close(fd);
    throw;
  }
  // mkstemp makes the file private; give it the mode a newly created file would have.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
}

staged_output::~staged_output() {
  const companion::signals_held held;
  if (!committed_) ::unlink(temp_.c_str());
  registered_.reset();
}

void staged_output::commit() {
  const companion::signals_held held;
  if (std::rename(temp_.c_str(), path_.c_str()) != 0)
    throw run_error(os_error(path_, "cannot move the finished output into place"));
  committed_ = true;
  registered_.reset();
}

}  // namespace c2m::inspect

#include "companion/common/staged_output.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "common/errors.hpp"
#include "common/grid_config_file.hpp"
#include "common/unique_fd.hpp"

namespace c2m::companion {

staged_output::staged_output(std::string path) : path_(std::move(path)), temp_(path_ + ".XXXXXX") {
  const companion::signals_held held;
  unique_fd fd(::mkstemp(temp_.data()));
  if (!fd.is_open()) throw run_error(os_error(path_, "cannot create output file"));
  try {
    registered_ = std::make_unique<companion::temporary_name>(temp_);
  } catch (...) {
    ::unlink(temp_.c_str());
    throw;
  }
  // mkstemp makes the file private; give it the mode a newly created file would have.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd.get(), 0666 & ~mask) != 0 || fd.close() != 0) {
    const run_error e(os_error(temp_, "cannot prepare output file"));
    ::unlink(temp_.c_str());
    throw e;
  }
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

void check_outputs_are_not_inputs(const std::vector<std::string>& inputs,
                                  const std::vector<std::string>& outputs) {
  for (const std::string& out : outputs) {
    struct stat o {};
    if (::stat(out.c_str(), &o) != 0) {
      if (errno == ENOENT) continue;  // a new file
      throw run_error(os_error(out, "cannot check output file"));
    }
    for (const std::string& in : inputs) {
      struct stat i {};
      if (::stat(in.c_str(), &i) != 0) throw run_error(os_error(in, "cannot open input file"));
      if (i.st_dev == o.st_dev && i.st_ino == o.st_ino)
        throw run_error(out + ": is the input " + in +
                        "; writing it would destroy the input (choose another output name" +
                        (out.find(grid_config_file::name) != std::string::npos
                             ? ", or run in another directory: the grid configuration is "
                               "always ./" +
                                   std::string(grid_config_file::name)
                             : std::string()) +
                        ")");
    }
  }
}

}  // namespace c2m::companion

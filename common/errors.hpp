// The two ways a run ends early. main() catches both, flushes the log, prints the
// diagnostic on standard error and turns them into the process exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace c2m {

// The run cannot go on: a file could not be read or written, a number is malformed,
// a grid cannot be allocated. The message names the file and what is wrong.
struct run_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The data cannot be converted (a level without data that cannot be patched). The
// message line has already gone to the progress log; the what() text is the diagnostic.
struct data_stop : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Builds "FILE: WHAT: strerror(errno)" from the errno in force when it is called.
std::string os_error(const std::string& file, const std::string& what);

constexpr int exit_io_failure = 1;
constexpr int exit_data_stop = 2;
constexpr int exit_usage = 64;  // a wrong command line (sysexits EX_USAGE)

}  // namespace c2m

// What the bench's runners share: a program run as a child and timed, its runs collected.
#pragma once

#include <string>
#include <vector>

namespace c2m::bench {

constexpr double mib = 1024.0 * 1024.0;

// "RUNNER: what" on standard error, status 2: the bench itself could not go on.
[[noreturn]] void fail(const std::string& what);

std::string slurp(const std::string& path);

// The runs per program a runner is asked for: a whole number from 1.
int parse_runs(const char* text);

// The children run inside a case's directory: every path given is made absolute first.
std::string absolute(const std::string& path);

struct run_result {
  double seconds = 0;
  double peak_mib = 0;
  long faults = 0;  // minor page faults (ru_minflt)
};

// Runs argv (its first element a path, or a program found on PATH) in dir with stdin from
// stdin_path (or /dev/null), stdout and stderr to the files named; timing switches
// CONV2MODEL_TIMING on for the child. The child's page faults and peak resident memory
// come from wait4. A child that fails ends the bench.
run_result run_child(const std::string& dir, const std::vector<std::string>& argv,
                     const std::string& stdin_path, const std::string& out_path,
                     const std::string& err_path, bool timing);

double median(std::vector<double> v);

// One program's runs on one case.
struct program_runs {
  std::string name;
  std::vector<std::string> argv;
  bool floor = false;  // a candidate for the floor the program is held to
  std::vector<double> seconds;
  std::vector<double> faults;
  double peak_mib = 0;

  void add(const run_result& r);
  double median_s() const { return median(seconds); }
  double median_faults() const { return median(faults); }
};

}  // namespace c2m::bench

#include "bench/child_run.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

namespace c2m::bench {

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
  std::exit(2);
}

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) fail(path + ": cannot open");
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

int parse_runs(const char* text) {
  char* end = nullptr;
  const long runs = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || runs < 1 || runs > 1000)
    fail(std::string("RUNS must be a whole number from 1 to 1000, not '") + text + "'");
  return static_cast<int>(runs);
}

namespace {

double now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void redirect(const std::string& path, int fd, int flags) {
  const int f = ::open(path.c_str(), flags, 0666);
  if (f < 0 || ::dup2(f, fd) < 0) _exit(127);
  ::close(f);
}

}  // namespace

run_result run_child(const std::string& dir, const std::vector<std::string>& argv,
                     const std::string& stdin_path, const std::string& out_path,
                     const std::string& err_path, bool timing) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const double start = now();
  const pid_t pid = ::fork();
  if (pid < 0) fail(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) _exit(127);
    redirect(stdin_path, 0, O_RDONLY);
    redirect(out_path, 1, O_WRONLY | O_CREAT | O_TRUNC);
    redirect(err_path, 2, O_WRONLY | O_CREAT | O_TRUNC);
    if (timing)
      ::setenv("CONV2MODEL_TIMING", "1", 1);
    else
      ::unsetenv("CONV2MODEL_TIMING");
    ::execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage ru{};
  if (::wait4(pid, &status, 0, &ru) != pid) fail(std::string("wait4: ") + std::strerror(errno));
  run_result r;
  r.seconds = now() - start;
  r.peak_mib = static_cast<double>(ru.ru_maxrss) * 1024.0 / mib;  // ru_maxrss is in KiB
  r.faults = ru.ru_minflt;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    fail(argv[0] + " failed in " + dir + " (see " + err_path + ")");
  return r;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

std::string absolute(const std::string& path) {
  char* full = ::realpath(path.c_str(), nullptr);
  if (!full) fail(path + ": " + std::strerror(errno));
  std::string s = full;
  std::free(full);
  return s;
}

void program_runs::add(const run_result& r) {
  seconds.push_back(r.seconds);
  faults.push_back(static_cast<double>(r.faults));
  peak_mib = std::max(peak_mib, r.peak_mib);
}

}  // namespace c2m::bench

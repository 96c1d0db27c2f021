#include "companion/common/temporaries.hpp"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <vector>

#include "common/errors.hpp"

namespace c2m::companion {

namespace {

constexpr int caught[] = {SIGINT, SIGTERM, SIGHUP};

// The names the handler removes; an empty one is a free slot. A series of any length
// stages a file per time, so the table grows; it changes only while the signals are
// held, and the handler runs only while they are not, so it never sees it half moved.
std::vector<std::string> names;
const char* program_name = "conv2model";

void say(const char* text) {
  const ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

extern "C" void on_signal(int sig) {
  bool removed = false;
  for (const std::string& name : names)
    if (!name.empty() && ::unlink(name.c_str()) == 0) removed = true;
  say(program_name);
  say(sig == SIGINT    ? ": interrupted (SIGINT)"
      : sig == SIGTERM ? ": terminated (SIGTERM)"
                       : ": hung up (SIGHUP)");
  say(removed ? "; its temporary files were removed, no output was written\n" : "\n");
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

sigset_t caught_set() {
  sigset_t set;
  sigemptyset(&set);
  for (const int sig : caught) sigaddset(&set, sig);
  return set;
}

}  // namespace

void remove_temporaries_on_signals(const char* program) {
  program_name = program;
  struct sigaction action {};
  action.sa_handler = on_signal;
  action.sa_mask = caught_set();
  for (const int sig : caught)
    if (::sigaction(sig, &action, nullptr) != 0)
      throw run_error(os_error("signal handler", "cannot be installed"));
  if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR)
    throw run_error(os_error("SIGXFSZ", "cannot be ignored"));
}

temporary_name::temporary_name(const std::string& path) : slot_(-1) {
  if (path.size() >= PATH_MAX) throw run_error(path + ": the name is too long");
  const signals_held held;
  auto free = std::find_if(names.begin(), names.end(),
                           [](const std::string& name) { return name.empty(); });
  if (free == names.end()) free = names.emplace(names.end());
  *free = path;
  slot_ = static_cast<int>(free - names.begin());
}

temporary_name::~temporary_name() {
  const signals_held held;
  names[static_cast<std::size_t>(slot_)].clear();
}

signals_held::signals_held() {
  const sigset_t set = caught_set();
  ::sigprocmask(SIG_BLOCK, &set, &saved_);
}

signals_held::~signals_held() {
  ::sigprocmask(SIG_SETMASK, &saved_, nullptr);
}

}  // namespace c2m::companion

#include "companion/common/temporaries.hpp"

#include <limits.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>

#include "common/errors.hpp"

namespace c2m::companion {

namespace {

constexpr int caught[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t n_slots = 16;

// Read by the handler: names written before `used` is set, cleared after it is reset.
std::array<char[PATH_MAX], n_slots> names;
volatile std::sig_atomic_t used[n_slots] = {};
const char* program_name = "conv2model";

void say(const char* text) {
  const ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

extern "C" void on_signal(int sig) {
  bool removed = false;
  for (std::size_t k = 0; k < n_slots; ++k)
    if (used[k] && ::unlink(names[k]) == 0) removed = true;
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
  for (std::size_t k = 0; k < n_slots && slot_ < 0; ++k)
    if (!used[k]) slot_ = static_cast<int>(k);
  if (slot_ < 0) throw run_error(path + ": too many temporary files at once");
  const auto k = static_cast<std::size_t>(slot_);
  std::memcpy(names[k], path.c_str(), path.size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);  // the name before the mark
  used[k] = 1;
}

temporary_name::~temporary_name() {
  used[static_cast<std::size_t>(slot_)] = 0;
}

signals_held::signals_held() {
  const sigset_t set = caught_set();
  ::sigprocmask(SIG_BLOCK, &set, &saved_);
}

signals_held::~signals_held() {
  ::sigprocmask(SIG_SETMASK, &saved_, nullptr);
}

}  // namespace c2m::companion

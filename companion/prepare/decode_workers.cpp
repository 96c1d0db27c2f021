#include "companion/prepare/decode_workers.hpp"

#include <eccodes.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

#include "common/errors.hpp"
#include "common/unique_fd.hpp"
#include "companion/prepare/shared_memory.hpp"

namespace c2m::prepare {

namespace {

using clock = std::chrono::steady_clock;

// A worker that met an ecCodes assertion ends with this status, its text in its slot.
constexpr int assertion_status = 70;
// A worker that could not make the shared memory read-only ends with this one.
constexpr int protection_status = 71;

struct request {
  std::uint64_t item;
};

struct reply {
  std::uint64_t item;
  std::uint64_t length;   // of the result, or of the diagnostic's text
  std::uint32_t refused;  // 1: the slot holds a diagnostic instead of a result
  std::uint32_t unused;
};

// Whole messages over a stream socket; false when the other end is gone.
bool send_all(int fd, const void* data, std::size_t n) {
  const auto* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

bool receive_all(int fd, void* data, std::size_t n) {
  auto* p = static_cast<char*>(data);
  while (n > 0) {
    const ssize_t r = ::recv(fd, p, n, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

// How many items a worker holds at once: it goes on with those while the parent is busy
// (writing a record of a hundred megabytes, say) instead of waiting for its next item,
// and the items come without a round trip each.
constexpr std::size_t items_ahead = 32;

// The slots of all workers, shared with them: each worker has one for each item it may
// hold, used in turn.
class shared_slots {
 public:
  shared_slots(std::size_t workers, std::size_t slot_bytes) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    slot_ = (std::max<std::size_t>(slot_bytes, 1) + page - 1) / page * page;
    size_ = slot_ * items_ahead * workers;
    void* p = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw run_error(os_error("conv2model-prepare", "cannot map decode slots"));
    base_ = static_cast<unsigned char*>(p);
  }
  ~shared_slots() { ::munmap(base_, size_); }
  shared_slots(const shared_slots&) = delete;
  shared_slots& operator=(const shared_slots&) = delete;

  // Worker k's slot for the n-th item it is given (from 0).
  std::span<unsigned char> slot(std::size_t k, std::uint64_t n) const {
    return {base_ + (k * items_ahead + n % items_ahead) * slot_, slot_};
  }
  // All of worker k's slots.
  std::span<unsigned char> slots(std::size_t k) const {
    return {base_ + k * items_ahead * slot_, items_ahead * slot_};
  }

 private:
  unsigned char* base_ = nullptr;
  std::size_t size_ = 0, slot_ = 0;
};

// What a worker's assertion and log handlers write into: its own slot.
std::span<unsigned char> child_slot;
char child_last_error[512];

void put_text(std::span<unsigned char> slot, const std::string& text) {
  const std::size_t n = std::min(text.size(), slot.size() - 1);
  std::memcpy(slot.data(), text.data(), n);
  slot[n] = 0;
}

extern "C" void on_assertion(const char* message) {
  put_text(child_slot, message);
  ::_exit(assertion_status);
}

extern "C" void on_log(const codes_context*, int level, const char* message) {
  if (level == CODES_LOG_ERROR || level == CODES_LOG_FATAL)
    std::snprintf(child_last_error, sizeof child_last_error, "%s", message);
}

// A worker: the parent's signal handlers are not its own (nor a sanitizer's, so that a
// fault ends it by its signal in every build), and whatever the library prints is not
// for the user: the parent says what went wrong. It dies with the parent.
[[noreturn]] void worker_main(int fd, pid_t parent, std::span<unsigned char> slots,
                              const worker_task& task) {
  for (const int s :
       {SIGINT, SIGTERM, SIGHUP, SIGXFSZ, SIGPIPE, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
    std::signal(s, SIG_DFL);
  if (const unique_fd null(::open("/dev/null", O_WRONLY | O_CLOEXEC)); null.is_open())
    ::dup2(null.get(), STDERR_FILENO);
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(0);  // the parent died before the line above
  try {
    shared_memory::protect_all();
  } catch (const run_error&) {
    ::_exit(protection_status);
  }
  codes_set_codes_assertion_failed_proc(on_assertion);
  codes_context_set_logging_proc(codes_context_get_default(), on_log);
  const std::size_t slot_bytes = slots.size() / items_ahead;
  for (std::uint64_t n = 0; true; ++n) {
    request rq{};
    if (!receive_all(fd, &rq, sizeof rq)) break;
    const std::span<unsigned char> slot = slots.subspan(n % items_ahead * slot_bytes, slot_bytes);
    child_slot = slot;
    reply rp{rq.item, 0, 0, 0};
    child_last_error[0] = 0;
    try {
      rp.length = task(rq.item, slot);
    } catch (const std::exception& e) {
      rp.refused = 1;
      put_text(slot, e.what());
    } catch (...) {
      rp.refused = 1;
      put_text(slot, "an unknown failure in the decoding process");
    }
    if (rp.refused) rp.length = std::strlen(reinterpret_cast<const char*>(slot.data()));
    if (!send_all(fd, &rp, sizeof rp)) break;
  }
  ::_exit(0);
}

struct worker {
  pid_t pid = -1;
  unique_fd fd;
  std::deque<std::size_t> items;  // given and not yet taken, the one in hand first
  std::uint64_t taken = 0;        // results taken from it
  clock::time_point deadline;     // for the item in hand
};

// The running workers; stopped and reaped however the run ends.
class worker_group {
 public:
  ~worker_group() {
    for (worker& w : workers_) stop(w);
  }

  std::vector<worker>& all() { return workers_; }

  void start(const shared_slots& slots, const worker_task& task) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
      throw run_error(os_error("conv2model-prepare", "cannot start a decoding process"));
    unique_fd mine(pair[0]), theirs(pair[1]);
    const std::size_t k = workers_.size();
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) throw run_error(os_error("conv2model-prepare", "cannot start a decoding process"));
    if (pid == 0) {
      for (worker& w : workers_) ::close(w.fd.get());
      ::close(mine.get());
      worker_main(theirs.get(), parent, slots.slots(k), task);
    }
    worker w;
    w.pid = pid;
    w.fd = std::move(mine);
    workers_.push_back(std::move(w));
  }

  // Why worker w ended (it has closed its end): how the process ended, reaped now.
  static std::string death(worker& w, std::span<const unsigned char> slot) {
    int status = 0;
    while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    w.pid = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == assertion_status)
      return std::string(reinterpret_cast<const char*>(slot.data()),
                         ::strnlen(reinterpret_cast<const char*>(slot.data()), slot.size()));
    if (WIFSIGNALED(status))
      return std::string("the decoding process died by signal ") +
             std::to_string(WTERMSIG(status)) + " (" + ::strsignal(WTERMSIG(status)) + ")";
    return "the decoding process ended with status " + std::to_string(WEXITSTATUS(status));
  }

 private:
  static void stop(worker& w) {
    if (w.pid < 0) return;
    w.fd.close();
    ::kill(w.pid, SIGKILL);
    while (::waitpid(w.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    w.pid = -1;
  }

  std::vector<worker> workers_;
};

// Milliseconds until the earliest deadline of a busy worker, for poll.
int wait_ms(const std::vector<worker>& workers) {
  auto soonest = clock::time_point::max();
  for (const worker& w : workers)
    if (!w.items.empty()) soonest = std::min(soonest, w.deadline);
  if (soonest == clock::time_point::max()) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(soonest - clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

struct dispatch {
  std::size_t count;
  const decode_limits& limits;
  const worker_where& where;
  const worker_ready& ready;
  std::size_t next = 0;

  void start_clock(worker& w) const {
    w.deadline = clock::now() + std::chrono::duration_cast<clock::duration>(
                                    std::chrono::duration<double>(limits.seconds));
  }

  // The next items, as far as they are ready, each to the worker holding the fewest.
  // A process that has died takes nothing more, but is not judged here: the results it
  // gave before dying come first, and then its end of the socket, read in collect,
  // names the item it died on.
  void give(std::vector<worker>& workers) {
    while (next < count && (!ready || ready(next))) {
      const auto w = std::min_element(
          workers.begin(), workers.end(),
          [](const worker& a, const worker& b) { return a.items.size() < b.items.size(); });
      if (w->items.size() == items_ahead) return;
      const request rq{next};
      w->items.push_back(next++);
      if (w->items.size() == 1) start_clock(*w);
      static_cast<void>(send_all(w->fd.get(), &rq, sizeof rq));
    }
  }

  [[noreturn]] void fail(worker& w, std::span<const unsigned char> slot) const {
    const std::string reason = worker_group::death(w, slot);
    throw run_error(where(w.items.front()) + ": cannot be decoded: " + reason);
  }

  // The reply of worker w, whose socket is readable: the item it was.
  std::size_t collect(worker& w, std::span<const unsigned char> slot, const worker_take& take) {
    reply rp{};
    if (!receive_all(w.fd.get(), &rp, sizeof rp)) fail(w, slot);
    if (rp.item != w.items.front() || rp.length > slot.size())
      throw run_error(where(w.items.front()) +
                      ": cannot be decoded: the decoding process gave a malformed reply");
    if (rp.refused)
      throw run_error(std::string(reinterpret_cast<const char*>(slot.data()), rp.length));
    const std::size_t item = w.items.front();
    take(item, slot.first(rp.length));
    w.items.pop_front();
    ++w.taken;
    start_clock(w);
    return item;
  }
};

}  // namespace

std::string decoder_said() {
  return child_last_error[0] ? std::string(" (ecCodes: ") + child_last_error + ")" : std::string();
}

int cores_available() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

void run_in_workers(std::size_t count, std::size_t slot_bytes, const decode_limits& limits,
                    const worker_task& task, const worker_take& take, const worker_where& where,
                    const worker_ready& ready, const worker_done& done) {
  if (count == 0) return;
  const std::size_t n =
      std::min<std::size_t>(count, static_cast<std::size_t>(std::max(1, limits.workers)));
  const shared_slots slots(n, slot_bytes);
  worker_group group;
  for (std::size_t k = 0; k < n; ++k) group.start(slots, task);
  std::vector<worker>& workers = group.all();
  dispatch d{count, limits, where, ready};
  std::size_t taken = 0;
  std::vector<pollfd> polls(n);
  const auto busy = [](const worker& w) { return !w.items.empty(); };
  while (taken < count) {
    d.give(workers);
    if (std::none_of(workers.begin(), workers.end(), busy))
      throw run_error("conv2model-prepare: item " + std::to_string(d.next) +
                      " can never start (nothing running makes room for it)");
    for (std::size_t k = 0; k < n; ++k)
      polls[k] = {busy(workers[k]) ? workers[k].fd.get() : -1, POLLIN, 0};
    const int answered = ::poll(polls.data(), polls.size(), wait_ms(workers));
    if (answered < 0 && errno != EINTR)
      throw run_error(os_error("conv2model-prepare", "cannot wait for the decoding processes"));
    for (std::size_t k = 0; k < n; ++k) {
      worker& w = workers[k];
      if (answered > 0 && polls[k].revents != 0) {
        const std::size_t item = d.collect(w, slots.slot(k, w.taken), take);
        ++taken;
        d.give(workers);
        if (done) done(item);
      } else if (busy(w) && clock::now() >= w.deadline) {
        char limit[32];
        std::snprintf(limit, sizeof limit, "%g", limits.seconds);
        throw run_error(where(w.items.front()) + ": cannot be decoded: no result after " + limit +
                        " s (damaged, or more than a message takes)");
      }
    }
  }
}

}  // namespace c2m::prepare

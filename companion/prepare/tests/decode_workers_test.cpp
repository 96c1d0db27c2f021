// Worker processes: every result reaches the parent once, and a worker that dies, loops
// or refuses becomes one diagnostic naming the item, with every worker stopped.
#include "companion/prepare/decode_workers.hpp"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "common/errors.hpp"
#include "companion/prepare/shared_memory.hpp"

namespace c2m::prepare {
namespace {

std::string where(std::size_t item) {
  return "f.grib2: message " + std::to_string(item + 1) + " (at byte " + std::to_string(item * 10) +
         ")";
}

// The diagnostic a run over 20 items gives when item 13 does `bad`, or "".
template <class Bad>
std::string failure(Bad bad, int workers = 2, double seconds = 60) {
  try {
    run_in_workers(
        20, 64, {workers, seconds},
        [&](std::size_t item, std::span<unsigned char> slot) -> std::size_t {
          if (item == 13) bad();
          return slot.size();
        },
        [](std::size_t, std::span<const unsigned char>) {}, where);
  } catch (const run_error& e) {
    return e.what();
  }
  return "";
}

TEST(decode_workers, every_result_reaches_the_parent_once) {
  for (const int workers : {1, 3}) {
    std::vector<int> seen(100, 0);
    run_in_workers(
        seen.size(), sizeof(std::size_t), {workers, 60},
        [](std::size_t item, std::span<unsigned char> slot) {
          const std::size_t v = item * item;
          std::memcpy(slot.data(), &v, sizeof v);
          return sizeof v;
        },
        [&](std::size_t item, std::span<const unsigned char> r) {
          ASSERT_EQ(r.size(), sizeof(std::size_t));
          std::size_t v = 0;
          std::memcpy(&v, r.data(), sizeof v);
          EXPECT_EQ(v, item * item);
          ++seen[item];
        },
        where);
    for (const int n : seen) EXPECT_EQ(n, 1) << workers << " workers";
  }
}

TEST(decode_workers, a_worker_that_dies_or_loops_is_named_with_its_message) {
  EXPECT_EQ(failure([] { std::raise(SIGSEGV); }),
            "f.grib2: message 14 (at byte 130): cannot be decoded: the decoding process died by "
            "signal 11 (Segmentation fault)");
  EXPECT_EQ(failure([] { std::abort(); }, 1)
                .rfind("f.grib2: message 14 (at byte 130): cannot be "
                       "decoded: the decoding process died by signal 6",
                       0),
            0u);
  EXPECT_EQ(failure([] { ::_exit(3); }),
            "f.grib2: message 14 (at byte 130): cannot be decoded: the decoding process ended "
            "with status 3");
  EXPECT_EQ(failure([] { ::pause(); }, 2, 0.3),
            "f.grib2: message 14 (at byte 130): cannot be decoded: no result after 0.3 s (damaged, "
            "or more than a message takes)");
}

TEST(decode_workers, a_refusal_in_a_worker_is_the_diagnostic_as_it_stands) {
  EXPECT_EQ(
      failure([] { throw run_error("f.grib2: message 14 (t, 500 hPa) is on a Lambert grid"); }),
      "f.grib2: message 14 (t, 500 hPa) is on a Lambert grid");
}

// Items wait for room: here each may start only once the one before it is done, which
// only done() says. Every item must still run once, after its predecessor; one that can
// never start is a failure, not a hang.
TEST(decode_workers, items_start_when_ready_and_done_follows_take) {
  for (const int workers : {1, 3}) {
    std::vector<int> taken(12, 0), done(12, 0);
    run_in_workers(
        taken.size(), 8, {workers, 60},
        [](std::size_t, std::span<unsigned char>) { return std::size_t{0}; },
        [&](std::size_t item, std::span<const unsigned char>) {
          EXPECT_TRUE(item == 0 || done[item - 1]) << item;
          ++taken[item];
        },
        where, [&](std::size_t item) { return item == 0 || done[item - 1] > 0; },
        [&](std::size_t item) {
          EXPECT_EQ(taken[item], 1) << item;
          ++done[item];
        });
    for (std::size_t k = 0; k < taken.size(); ++k)
      EXPECT_TRUE(taken[k] == 1 && done[k] == 1) << k << " with " << workers << " workers";
  }
  try {
    run_in_workers(
        4, 8, {2, 60}, [](std::size_t, std::span<unsigned char>) { return std::size_t{0}; },
        [](std::size_t, std::span<const unsigned char>) {}, where,
        [](std::size_t item) { return item != 2; });
    ADD_FAILURE() << "an item that can never start passed";
  } catch (const run_error& e) {
    EXPECT_NE(std::string(e.what()).find("item 2 can never start"), std::string::npos) << e.what();
  }
}

// A worker holds several items: while the parent is busy after a result (writing a
// record, say), the worker goes on with the next ones rather than waiting for it. Here
// the parent, after the first result, waits for the worker to finish the sixth item.
TEST(decode_workers, a_worker_goes_on_while_the_parent_is_busy) {
  void* shared = ::mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(shared, MAP_FAILED);
  auto* finished = new (shared) std::atomic<int>(0);
  bool went_on = false;
  run_in_workers(
      40, 8, {1, 60},
      [&](std::size_t, std::span<unsigned char>) {
        ++*finished;
        return std::size_t{0};
      },
      [](std::size_t, std::span<const unsigned char>) {}, where, nullptr,
      [&](std::size_t item) {
        if (item != 0) return;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (*finished < 6 && std::chrono::steady_clock::now() < until)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        went_on = *finished >= 6;
      });
  EXPECT_TRUE(went_on) << "the worker waited for the parent (" << *finished << " done)";
  ::munmap(shared, sizeof(std::atomic<int>));
}

// A process that dies with results not yet taken: those are taken first, and the
// diagnostic names the item it died on, even when the parent, busy meanwhile, finds it
// dead as it gives it the next item.
TEST(decode_workers, a_death_is_named_after_the_results_given_before_it) {
  void* shared = ::mmap(nullptr, sizeof(std::atomic<int>) * 2, PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(shared, MAP_FAILED);
  auto* finished = new (shared) std::atomic<int>(0);
  auto* pid = new (finished + 1) std::atomic<int>(0);
  std::vector<int> taken;
  const auto dead = [&] {
    std::ifstream stat("/proc/" + std::to_string(pid->load()) + "/stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t end = line.rfind(')');
    return end != std::string::npos && line.compare(end, 3, ") Z") == 0;
  };
  try {
    run_in_workers(
        60, 8, {1, 60},  // more than a process holds, so that some are given after
        [&](std::size_t item, std::span<unsigned char>) {
          *pid = static_cast<int>(::getpid());
          if (item == 13) std::raise(SIGSEGV);
          ++*finished;
          return std::size_t{0};
        },
        [&](std::size_t item, std::span<const unsigned char>) {
          taken.push_back(static_cast<int>(item));
        },
        where, nullptr,
        [&](std::size_t item) {
          if (item != 0) return;
          // Busy until the process has died, item 13 given meanwhile.
          const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
          while (!(*finished >= 13 && dead()) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    ADD_FAILURE() << "a death passed";
  } catch (const run_error& e) {
    EXPECT_EQ(std::string(e.what()),
              "f.grib2: message 14 (at byte 130): cannot be decoded: the decoding process died "
              "by signal 11 (Segmentation fault)");
  }
  EXPECT_EQ(taken.size(), 13u);
  ::munmap(shared, sizeof(std::atomic<int>) * 2);
}

// A worker places its field straight into memory shared with the parent, and can write
// nowhere else in it: a stray write ends it like any fault.
TEST(shared_memory, a_worker_writes_only_where_it_was_opened) {
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const shared_memory m(3 * page);
  float* const first = m.floats();
  float* const third = m.floats() + 2 * page / sizeof(float);
  const auto run = [&](bool stray) {
    run_in_workers(
        1, 8, {1, 60},
        [&](std::size_t, std::span<unsigned char>) {
          const shared_memory::writable open(first, sizeof(float));
          *first = 42;
          if (stray) *third = 7;
          return std::size_t{0};
        },
        [](std::size_t, std::span<const unsigned char>) {}, where);
  };
  run(false);
  EXPECT_EQ(*first, 42.0f);
  try {
    run(true);
    ADD_FAILURE() << "a write outside the opened range passed";
  } catch (const run_error& e) {
    EXPECT_NE(std::string(e.what()).find("died by signal 11"), std::string::npos) << e.what();
  }
  EXPECT_EQ(*third, 0.0f);
  EXPECT_TRUE(shared_memory::holds(third, sizeof(float)));
  EXPECT_FALSE(shared_memory::holds(third, page + 1));
  float own = 0;
  EXPECT_FALSE(shared_memory::holds(&own, sizeof own));
}

}  // namespace
}  // namespace c2m::prepare

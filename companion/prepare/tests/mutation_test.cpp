// conv2model-prepare on damaged copies of the real GFS file, as downloads that break
// off and mirrors that serve garbage give them: 1 to 64 bytes changed at random places,
// a third of the copies also cut short at a random byte. Whatever a copy holds, prepare
// ends by itself (no signal, no hang) with status 0 and a whole input field file, or
// with status 1, one line naming what is wrong and nothing written.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>

#include "companion/prepare/tests/prepare_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::test {
namespace {

constexpr std::uint32_t seed = 20251209;
constexpr int batches = 6, per_batch = 50;  // 300 copies, in batches that run side by side

// Copy c of the file's bytes, damaged the same way on every machine (mt19937's output
// is fixed by the standard; its distributions are not, so none is used).
std::string damaged(const std::string& bytes, int c) {
  std::mt19937 rng(seed + static_cast<std::uint32_t>(c));
  std::string copy = bytes;
  const std::uint32_t changes = 1 + rng() % 64;
  for (std::uint32_t k = 0; k < changes; ++k) {
    const std::size_t at = rng() % copy.size();
    copy[at] = static_cast<char>(copy[at] ^ static_cast<char>(1 + rng() % 255));
  }
  if (c % 3 == 0) copy.resize(rng() % copy.size());
  return copy;
}

// The size of an input field file of im x jm points and lm levels: eight records, each
// framed by two 4-byte lengths.
std::uint64_t field_file_size(std::uint64_t im, std::uint64_t jm, std::uint64_t lm) {
  const std::uint64_t n = im * jm * 4;
  return (4 + 8) + 5 * (n * lm + 8) + (lm * 4 + 8) + (n * 12 + 8);
}

struct tally {
  int whole = 0, refused = 0, signal = 0, hang = 0;
};

void run_copy(const std::string& original, int c, tally& t) {
  scratch_dir dir;
  const std::string name = "copy" + std::to_string(c) + ".grib2";
  { std::ofstream(dir / name, std::ios::binary) << damaged(original, c); }
  // The outer limit only catches a hang; prepare's own limit per message is 5 s.
  const shell_result r = shell(dir.path(), std::string("timeout -s KILL 40 '") + PREPARE_BIN +
                                               "' --decode-limit 5 -o out.bin " + name);
  const std::string listing = shell(dir.path(), "ls -A").out;
  const std::string where = name + " (seed " + std::to_string(seed) + "): ";
  if (r.status == 0) {
    ++t.whole;
    EXPECT_EQ(listing, "InputModelInf.txt\n" + name + "\nout.bin\n") << where;
    std::istringstream config(read_file(dir / "InputModelInf.txt"));
    std::string title;
    std::uint64_t im = 0, jm = 0, lm = 0;
    std::getline(config, title);
    config >> im >> jm >> lm;
    EXPECT_EQ(read_file(dir / "out.bin").size(), field_file_size(im, jm, lm)) << where;
  } else if (r.status == 1) {
    ++t.refused;
    EXPECT_EQ(listing, name + "\n") << where << "left behind";
    // Every line is prepare's own (notes, then the diagnostic), no library's chatter.
    std::istringstream lines(r.err);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
      EXPECT_EQ(line.rfind("conv2model-prepare: ", 0), 0u) << where << r.err;
    EXPECT_GE(count, 1) << where;
    // A damaged message is named by the file, its number and its byte offset.
    if (r.err.find("cannot be decoded") != std::string::npos ||
        r.err.find("framing") != std::string::npos) {
      EXPECT_NE(r.err.find(name + ": message "), std::string::npos) << where << r.err;
    }
  } else if (r.status == 128 + 9) {
    ++t.hang;
    ADD_FAILURE() << where << "still running after 40 s";
  } else {
    ++t.signal;
    ADD_FAILURE() << where << "status " << r.status << "\n" << r.err;
  }
}

class prepare_mutations : public testing::TestWithParam<int> {};

TEST_P(prepare_mutations, end_cleanly_with_a_whole_result_or_a_named_refusal) {
  std::ifstream in(gfs_grib2(), std::ios::binary);
  const std::string original{std::istreambuf_iterator<char>(in), {}};
  ASSERT_GT(original.size(), 1000000u);
  tally t;
  for (int c = GetParam() * per_batch; c < (GetParam() + 1) * per_batch; ++c)
    run_copy(original, c, t);
  std::printf("copies %d-%d (seed %u): status 0: %d, status 1: %d, signal: %d, hang: %d\n",
              GetParam() * per_batch, (GetParam() + 1) * per_batch - 1, seed, t.whole, t.refused,
              t.signal, t.hang);
}

INSTANTIATE_TEST_SUITE_P(copies, prepare_mutations, testing::Range(0, batches));

}  // namespace
}  // namespace c2m::test

#include "common/field_file.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "driver/input_file.hpp"
#include "tests/support/scratch.hpp"

namespace c2m {
namespace {

constexpr std::int32_t im = 3, jm = 2, lm = 2;

std::vector<float> ramp(std::size_t n, float start) {
  std::vector<float> v(n);
  for (std::size_t k = 0; k < n; ++k) v[k] = start + static_cast<float>(k);
  return v;
}

std::string error_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const run_error& e) {
    return e.what();
  }
  return "no error";
}

// What the writer writes, the converter reads back: every record in its place.
TEST(field_file, written_file_reads_back_in_the_converter) {
  const std::size_t n3 = im * jm * lm, n2 = im * jm;
  const std::vector<float> uw = ramp(n3, 100), vw = ramp(n3, 200), ht = ramp(n3, 300),
                           rh = ramp(n3, 400), tp = ramp(n3, 500), pr{1000, 850},
                           slp = ramp(n2 * 12, 600);
  test::scratch_dir dir;
  field_file::write(dir / "in.bin", "in.bin", {lm, uw, vw, ht, rh, tp, pr, slp});

  run_state run;
  run.im = im;
  run.jm = jm;
  run.lm = lm;
  run.input_name = dir / "in.bin";
  for (grid* g : {&run.uw, &run.vw, &run.ht, &run.rh, &run.tp}) *g = make_grid(im, jm, lm);
  run.slp = make_grid(im, jm, 12);
  run.pr.assign(lm, 0.0f);
  read_input_file(run);
  const auto values = [](const grid& g) { return std::vector<float>(g.data, g.data + g.size()); };
  EXPECT_EQ(values(run.uw), uw);
  EXPECT_EQ(values(run.vw), vw);
  EXPECT_EQ(values(run.ht), ht);
  EXPECT_EQ(values(run.rh), rh);
  EXPECT_EQ(values(run.tp), tp);
  EXPECT_EQ(run.pr, pr);
  EXPECT_EQ(values(run.slp), slp);
  // Nothing follows the last record.
  EXPECT_EQ(test::read_file(dir / "in.bin").size(), 8 * 8 + 4 + 5 * n3 * 4 + 2 * 4 + 12 * n2 * 4);
}

// A file written where a longer one was holds the new records only.
TEST(field_file, a_file_written_over_a_longer_one_holds_only_its_records) {
  test::scratch_dir dir;
  const std::vector<float> many = ramp(1000, 0);
  const float one = 7.0f;
  {
    field_file::writer w(dir / "out.bin", "out.bin");
    w.put(many.data(), many.size() * sizeof(float));
    w.close();
  }
  field_file::writer w(dir / "out.bin", "out.bin");
  w.put(&one, sizeof one);
  w.close();
  EXPECT_EQ(test::read_file(dir / "out.bin"), field_file::framed(&one, sizeof one));
}

// The framing in memory: little-endian lengths around the data; anything cut or with
// markers that differ is no record.
TEST(field_file, framed_records_in_memory) {
  const std::int32_t value = 0x01020304;
  const std::string r = field_file::framed(&value, sizeof value);
  EXPECT_EQ(r, std::string("\x04\0\0\0\x04\x03\x02\x01\x04\0\0\0", 12));
  const std::string two = r + field_file::framed("ab", 2);
  const auto first = field_file::record_at(two, 0);
  ASSERT_TRUE(first);
  EXPECT_EQ(std::string(first->data(), first->size()), r.substr(4, 4));
  const auto second = field_file::record_at(two, 12);
  ASSERT_TRUE(second);
  EXPECT_EQ(std::string(second->data(), second->size()), "ab");
  EXPECT_FALSE(field_file::record_at(two, 22));               // past the end
  EXPECT_FALSE(field_file::record_at(two.substr(0, 11), 0));  // cut inside the trailer
  std::string differ = r;
  differ[8] = 5;
  EXPECT_FALSE(field_file::record_at(differ, 0));
  EXPECT_FALSE(field_file::record_at(std::string("\xff\xff\xff\x7f\0\0\0\0", 8), 0));
}

// Failures name the file the user asked for, with the system's reason.
TEST(field_file, failures_name_the_file) {
  test::scratch_dir dir;
  const float v = 1.0f;
  EXPECT_EQ(error_of([&] { field_file::writer(dir / "no/such", "out.bin"); }),
            "out.bin: cannot create output file: No such file or directory");
  EXPECT_EQ(error_of([&] {
              field_file::writer w("/dev/full", "full.bin");
              w.put(&v, sizeof v);
            }),
            "full.bin: cannot write output file: No space left on device");
}

}  // namespace
}  // namespace c2m

#include "driver/input_file.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/errors.hpp"
#include "tests/support/scratch.hpp"
#include "tools/record_writer.hpp"

namespace c2m {
namespace {

using sample::frame;
using sample::frame_int;

constexpr std::int32_t im = 3, jm = 2, lm = 2;

run_state small_run(const std::string& path) {
  run_state run;
  run.im = im;
  run.jm = jm;
  run.lm = lm;
  run.input_name = path;
  run.config_name = "grid.txt";
  for (grid* g : {&run.uw, &run.vw, &run.ht, &run.rh, &run.tp}) *g = make_grid(im, jm, lm);
  run.slp = make_grid(im, jm, 12);
  run.pr.assign(lm, 0.0f);
  return run;
}

std::vector<float> ramp(std::size_t n, float start) {
  std::vector<float> v(n);
  for (std::size_t k = 0; k < n; ++k) v[k] = start + static_cast<float>(k);
  return v;
}

// A valid file: level count, five 3-D fields, the pressures, the surface stack.
std::vector<std::string> valid_records() {
  std::vector<std::string> r{frame_int(lm)};
  for (int f = 0; f < 5; ++f)
    r.push_back(frame(ramp(im * jm * lm, 100.0f * static_cast<float>(f))));
  r.push_back(frame(std::vector<float>{1000.0f, 850.0f}));
  r.push_back(frame(ramp(im * jm * 12, 5000.0f)));
  return r;
}

std::string join(const std::vector<std::string>& parts) {
  std::string s;
  for (const auto& p : parts) s += p;
  return s;
}

std::string read_error(const std::string& bytes) {
  test::scratch_dir dir;
  sample::write_file(dir / "in.bin", bytes);
  run_state run = small_run(dir / "in.bin");
  testing::internal::CaptureStdout();
  try {
    read_input_file(run);
  } catch (const run_error& e) {
    testing::internal::GetCapturedStdout();
    return e.what();
  }
  testing::internal::GetCapturedStdout();
  return "no error";
}

TEST(input_file, fills_every_grid_in_record_order) {
  test::scratch_dir dir;
  sample::write_file(dir / "in.bin", join(valid_records()));
  run_state run = small_run(dir / "in.bin");
  testing::internal::CaptureStdout();
  read_input_file(run);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(
      log, " OPEN FILE " + run.input_name + "\n           2\n   1000.00000       850.000000    \n");
  EXPECT_EQ(run.uw.at(1, 1, 1), 0.0f);
  EXPECT_EQ(run.uw.at(3, 2, 2), 11.0f);  // i fastest, then j, then the level
  EXPECT_EQ(run.vw.at(1, 1, 1), 100.0f);
  EXPECT_EQ(run.ht.at(2, 1, 1), 201.0f);
  EXPECT_EQ(run.rh.at(1, 2, 1), 303.0f);
  EXPECT_EQ(run.tp.at(1, 1, 2), 406.0f);
  EXPECT_EQ(run.slp.at(1, 1, 12), 5000.0f + 66.0f);
  EXPECT_EQ(run.pr[1], 850.0f);
}

TEST(input_file, longer_records_are_read_in_part_and_trailing_data_ignored) {
  auto r = valid_records();
  r[1] = frame(ramp(im * jm * (lm + 3), 0.0f));  // uw written with more levels
  r.push_back(frame_int(99));                    // data after the surface fields
  test::scratch_dir dir;
  sample::write_file(dir / "in.bin", join(r) + "junk");
  run_state run = small_run(dir / "in.bin");
  testing::internal::CaptureStdout();
  read_input_file(run);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(run.uw.at(3, 2, 2), 11.0f);
  EXPECT_EQ(run.vw.at(1, 1, 1), 100.0f);
}

TEST(input_file, framing_faults_are_reported_with_the_record) {
  const auto good = valid_records();
  auto r = good;

  r = good;
  r[3] = frame(ramp(im * jm * lm - 1, 0.0f));
  EXPECT_NE(read_error(join(r)).find("record 4 (ht) is short"), std::string::npos);

  r = good;
  r.resize(6);
  EXPECT_NE(read_error(join(r)).find("end of file before record 7"), std::string::npos);

  const std::string all = join(good);
  EXPECT_NE(read_error(all.substr(0, all.size() - 10)).find("record 8"), std::string::npos);
  EXPECT_NE(read_error(all.substr(0, 24)).find("record 2 (uw) is cut"), std::string::npos);
  EXPECT_NE(read_error(all.substr(0, 2)).find("inside its leading length marker"),
            std::string::npos);
  EXPECT_NE(read_error("").find("end of file before record 1"), std::string::npos);

  r = good;
  r[2].replace(r[2].size() - 4, 4, std::string("\x01\0\0\0", 4));
  EXPECT_NE(read_error(join(r)).find("record 3 (vw) is corrupt"), std::string::npos);

  r = good;
  r[1].replace(0, 4, std::string("\xff\xff\xff\xff", 4));
  EXPECT_NE(read_error(join(r)).find("negative length"), std::string::npos);
}

TEST(input_file, level_count_must_match_the_configuration) {
  auto r = valid_records();
  r[0] = frame_int(3);
  const std::string e = read_error(join(r));
  EXPECT_NE(e.find("record 1 gives 3 levels"), std::string::npos) << e;
  EXPECT_NE(e.find("but grid.txt configures lm = 2"), std::string::npos) << e;
}

TEST(input_file, big_endian_files_are_recognised) {
  std::string be =
      std::string("\0\0\0\x04", 4) + std::string("\0\0\0\x02", 4) + std::string("\0\0\0\x04", 4);
  EXPECT_NE(read_error(be).find("big-endian"), std::string::npos);
}

TEST(input_file, missing_or_unreadable_files) {
  run_state run = small_run("/nonexistent/in.bin");
  testing::internal::CaptureStdout();
  EXPECT_THROW(read_input_file(run), run_error);
  const test::scratch_dir dir;
  run.input_name = dir.path();
  try {
    read_input_file(run);
    ADD_FAILURE() << "a directory was read";
  } catch (const run_error& e) {
    EXPECT_NE(std::string(e.what()).find("is a directory"), std::string::npos);
  }
  testing::internal::GetCapturedStdout();
}

}  // namespace
}  // namespace c2m

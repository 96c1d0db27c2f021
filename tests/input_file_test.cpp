#include "driver/input_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

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
  EXPECT_NE(read_error(join(r)).find("record 4 (zg) is short"), std::string::npos);

  r = good;
  r.resize(6);
  EXPECT_NE(read_error(join(r)).find("end of file before record 7"), std::string::npos);

  const std::string all = join(good);
  EXPECT_NE(read_error(all.substr(0, all.size() - 10)).find("record 8"), std::string::npos);
  EXPECT_NE(read_error(all.substr(0, 24)).find("record 2 (ua) is cut"), std::string::npos);
  EXPECT_NE(read_error(all.substr(0, 2)).find("inside its leading length marker"),
            std::string::npos);
  EXPECT_NE(read_error("").find("end of file before record 1"), std::string::npos);

  r = good;
  r[2].replace(r[2].size() - 4, 4, std::string("\x01\0\0\0", 4));
  EXPECT_NE(read_error(join(r)).find("record 3 (va) is corrupt"), std::string::npos);

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

// A file of 1024 x 4 points on 2 levels: every 3-D record spans several pages.
constexpr std::int32_t wide_im = 1024, wide_jm = 4;

// The records of such a file, with distinct values in every field.
std::vector<std::string> wide_records() {
  const std::size_t n3 = static_cast<std::size_t>(wide_im * wide_jm * lm);
  std::vector<std::string> r = {frame_int(lm)};
  for (int f = 0; f < 5; ++f) r.push_back(frame(ramp(n3, 1.0f + 1e4f * static_cast<float>(f))));
  r.push_back(frame(std::vector<float>{1000.0f, 850.0f}));
  r.push_back(frame(ramp(n3 / lm * 12, 5000.0f)));
  return r;
}

// A run that has read the file path holds (written from records).
run_state read_wide(const std::string& path, const std::vector<std::string>& records) {
  sample::write_file(path, join(records));
  run_state run;
  run.im = wide_im;
  run.jm = wide_jm;
  run.lm = lm;
  run.input_name = path;
  for (grid* g : {&run.uw, &run.vw, &run.ht, &run.rh, &run.tp})
    *g = make_grid(wide_im, wide_jm, lm);
  run.slp = make_grid(wide_im, wide_jm, 12);
  run.pr.assign(lm, 0.0f);
  testing::internal::CaptureStdout();
  read_input_file(run);
  testing::internal::GetCapturedStdout();
  return run;
}

float sum(const grid& g) {
  float s = 0.0f;
  for (float v : g.all()) s += v;
  return s;
}

TEST(input_file, winds_height_and_temperature_are_private_views_of_the_file) {
  const std::vector<std::string> r = wide_records();
  test::scratch_dir dir;
  run_state run = read_wide(dir / "in.bin", r);
  for (const grid* g : {&run.uw, &run.vw, &run.ht, &run.tp}) {
    EXPECT_EQ(g->memory.start, nullptr) << "a view holds no memory of its own";
    EXPECT_GE(reinterpret_cast<const char*>(g->data), run.input.base);
  }
  EXPECT_NE(run.rh.memory.start, nullptr);
  EXPECT_NE(run.slp.memory.start, nullptr);
  EXPECT_EQ(run.tp.at(wide_im, wide_jm, lm), 4e4f + static_cast<float>(wide_im * wide_jm * lm));
  EXPECT_EQ(run.rh.at(2, 1, 1), 3e4f + 2.0f);

  // A step that changes a view changes the run's copy, never the input file.
  run.uw.at(1, 1, 1) = -1.0f;
  run.tp.all().back() = -2.0f;
  EXPECT_EQ(test::read_file(dir / "in.bin"), join(r));
  EXPECT_EQ(run.uw.at(1, 1, 1), -1.0f);
  EXPECT_NO_THROW(check_input_intact(run.input));
}

TEST(input_file, records_at_unaligned_offsets_are_read_into_memory) {
  auto r = valid_records();
  r[0] = frame(std::string("\x02\0\0\0x", 5).data(), 5);  // a level count record of 5 bytes
  test::scratch_dir dir;
  sample::write_file(dir / "in.bin", join(r));
  run_state run = small_run(dir / "in.bin");
  testing::internal::CaptureStdout();
  read_input_file(run);
  testing::internal::GetCapturedStdout();
  EXPECT_NE(run.uw.memory.start, nullptr);
  EXPECT_EQ(run.uw.at(3, 2, 2), 11.0f);
  EXPECT_EQ(run.tp.at(1, 1, 2), 406.0f);
}

TEST(input_file, a_file_cut_under_the_run_is_reported_and_never_ends_it_with_a_signal) {
  const std::vector<std::string> r = wide_records();
  test::scratch_dir dir;
  run_state run = read_wide(dir / "in.bin", r);
  EXPECT_NO_THROW(check_input_intact(run.input));

  // Cut inside the first record of winds: every page of the views after it is lost.
  ASSERT_EQ(::truncate((dir / "in.bin").c_str(), 100), 0);
  float seen = 0.0f;
  for (const grid* g : {&run.uw, &run.vw, &run.ht, &run.tp}) seen += sum(*g);
  EXPECT_EQ(run.tp.at(wide_im, wide_jm, lm), 0.0f) << "lost pages read as zeros";
  EXPECT_GE(seen, 0.0f);
  try {
    check_input_intact(run.input);
    ADD_FAILURE() << "a cut input passed the check";
  } catch (const run_error& e) {
    EXPECT_NE(std::string(e.what()).find("in.bin: the file was cut while it was being converted: "
                                         "it holds 100 bytes"),
              std::string::npos)
        << e.what();
  }
}

TEST(input_file, a_fault_in_a_view_of_an_input_cut_and_regrown_is_reported) {
  const std::vector<std::string> r = wide_records();
  test::scratch_dir dir;
  run_state run = read_wide(dir / "in.bin", r);
  ASSERT_EQ(::truncate((dir / "in.bin").c_str(), 100), 0);
  EXPECT_EQ(run.ht.at(1, 1, 1), 0.0f);
  // Grown back to its size, the file no longer looks cut; the lost page still counts.
  ASSERT_EQ(::truncate((dir / "in.bin").c_str(), static_cast<off_t>(join(r).size())), 0);
  EXPECT_THROW(check_input_intact(run.input), run_error);
}

}  // namespace
}  // namespace c2m

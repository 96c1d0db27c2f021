// Runs of the real conv2model binary in scratch directories.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "common/constants.hpp"
#include "common/line_layout.hpp"
#include "common/work_layout.hpp"
#include "tests/support/scratch.hpp"
#include "tools/record_writer.hpp"

namespace c2m {
namespace {

using test::file_exists;
using test::read_file;
using test::run_conv2model;

constexpr std::int32_t im = 6, jm = 3, lm = 4;

sample::analysis every_repair() {
  auto a = sample::make_sample(im, jm, lm);
  a.pr = {1000.0f, 925.0f, 850.0f, 700.0f};
  const std::size_t n2 = im * jm;
  auto level = [&](std::vector<float>& v, int l) {
    return v.begin() + static_cast<std::ptrdiff_t>(n2 * (l - 1));
  };
  std::fill(level(a.rh, 1), level(a.rh, 2), input_fill);  // bottom RH level missing
  std::fill(level(a.rh, 4), level(a.rh, 5), input_fill);  // top RH level missing
  a.uw[1] = input_fill;                                   // a gap the check does not see
  float* s = a.slp.data();
  auto sfc = [&](int k, int i, int j) -> float& {
    return s[n2 * (k - 1) + (j - 1) * im + (i - 1)];
  };
  for (int i = 1; i <= im; ++i)
    for (int j = 1; j <= jm; ++j) {
      sfc(1, i, j) = i <= 2 ? 0.05f : 0.7f;  // sea in the first two columns
      for (int k = 5; k <= 12; ++k)
        sfc(k, i, j) = i <= 2 ? input_fill : (k % 2 ? 280.0f + k : 0.4f);
    }
  sfc(8, 4, 1) = 0.9f;            // capped to 0.3
  sfc(11, 1, 1) = missing_value;  // layer 4 temperature missing: copied from layer 2
  return a;
}

TEST(whole_run, every_repair_at_once) {
  test::scratch_dir dir;
  const auto a = every_repair();
  test::write_case(dir.path(), a);
  const auto r = run_conv2model(dir.path(), "an.bin\nsecond line\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");

  std::string field = "an.bin.ORUwrk ";
  field.resize(layout::name_field, ' ');
  std::string want;
  want += format_line({"using hardwired stuff! ", im, jm, lm});
  want += format_line({1000.0f, 925.0f, 850.0f, 700.0f});
  want += format_line({"test-case"});
  want += format_line({"OPEN FILE ", "an.bin"});
  want += format_line({lm});
  want += format_line({1000.0f, 925.0f, 850.0f, 700.0f});
  want += format_line({"Check for any missing data"});
  want += format_line({"RH data missing at level: ", 1000.0f});
  want += format_line({"Calling RH patch."});
  want += format_line({"Copying", 925, " mb to", 1000, " mb."});
  want += format_line({"checking RH at lev= ", 850.0f});
  want += format_line({"Copying", 850, " mb to", 700, " mb."});
  want += format_line({"going to use nsfcfld= ", 12});
  want += format_line({"SURFACE DATA MISSING... ", 11});
  want += format_line({"filling soil temp data..."});
  want += format_line({field});
  want += format_line({"ORUwrk ", " data ---> ", "an.bin.ORUwrk"});
  want += format_line({"calling get_fullgds with ", "an.bin"});
  want += format_line({"back from get_fullgds"});
  const std::string log = r.out;
  ASSERT_TRUE(log.starts_with(want)) << log;
  EXPECT_NE(log.find(" GDS written to an.bin.ORUwrk.gdsinfo\n past 14 close\n starting writes"),
            std::string::npos);

  const std::string work = read_file(dir / "an.bin.ORUwrk");
  const std::size_t n2 = im * jm;
  ASSERT_EQ(work.size(), (5u * lm + 12u) * n2 * 4u);
  const auto rec = [&](int r) { return test::work_record(work, n2, r); };
  EXPECT_EQ(rec(1)[1], missing_value);  // uw fill value normalised, not patched
  // qnew2 = rh * 0.00622 e / (p - e) with e from the reference table at the truncated
  // 100 * tp; level 1 derives from rh level 2, level 4 from rh level 3.
  const std::vector<float> esat = test::reference_esat();
  ASSERT_EQ(esat.size(), 30001u);
  const int rh_source[lm] = {2, 2, 3, 3};
  for (int l = 1; l <= lm; ++l) {
    const auto q = rec(3 * lm + l);
    for (std::size_t p = 0; p < n2; ++p) {
      const float t = a.tp[n2 * (l - 1) + p], rh = a.rh[n2 * (rh_source[l - 1] - 1) + p];
      const float e = esat[static_cast<std::size_t>(
          std::clamp(static_cast<int>(100.0f * t), 15000, 45000) - 15000)];
      const float want = rh * ((0.00622f * e) / (a.pr[l - 1] - e));
      ASSERT_EQ(std::bit_cast<std::uint32_t>(q[p]), std::bit_cast<std::uint32_t>(want))
          << "level " << l << " point " << p << ": " << q[p] << " for " << want;
    }
  }
  // Two values written out, in case the formula above and the code drift together.
  EXPECT_EQ(std::bit_cast<std::uint32_t>(rec(3 * lm + 1)[0]), 0x3c2dd498u);       // 0.0106098
  EXPECT_EQ(std::bit_cast<std::uint32_t>(rec(3 * lm + 4)[n2 - 1]), 0x3728b65eu);  // 1.0056e-05
  const auto mask = rec(5 * lm + 1);
  EXPECT_EQ(mask[0], 0.0f);
  EXPECT_EQ(mask[3], 1.0f);
  const auto sm2 = rec(5 * lm + 8), st2 = rec(5 * lm + 7), st4 = rec(5 * lm + 11);
  EXPECT_EQ(sm2[3], 0.3f);
  // Sea points (the first two of each row) took the first land value from the right.
  EXPECT_EQ(st2[0], 287.0f);
  EXPECT_EQ(st2[1], 287.0f);
  for (std::size_t p = 0; p < n2; ++p) EXPECT_EQ(st4[p], st2[p]);
}

struct stop_case {
  const char* name;
  void (*spoil)(sample::analysis&);
  const char* last_line;
};

void fill_level(std::vector<float>& v, int l) {
  std::fill(v.begin() + (l - 1) * im * jm, v.begin() + l * im * jm, input_fill);
}

TEST(whole_run, data_stops_end_with_status_2_and_no_output) {
  const stop_case cases[] = {
      {"height", [](sample::analysis& a) { a.ht[0 + 2 * im * jm] = input_fill; },
       " Height data missing at level:    850.000000    \n"},
      {"temperature", [](sample::analysis& a) { a.tp[0] = missing_value; },
       " Temperature data missing at level:    1000.00000    \n"},
      {"u-wind", [](sample::analysis& a) { a.uw[0 + im * jm] = input_fill; },
       " U-wind data missing at level:    925.000000    \n"},
      {"v-wind", [](sample::analysis& a) { a.vw[0 + 3 * im * jm] = input_fill; },
       " V-wind data missing at level:    700.000000    \n"},
      {"rh middle gap", [](sample::analysis& a) { fill_level(a.rh, 2); },
       " RH patch did not work..\n"},
      {"rh everywhere",
       [](sample::analysis& a) {
         for (int l = 1; l <= lm; ++l) fill_level(a.rh, l);
       },
       " RH patch did not work.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::scratch_dir dir;
    auto a = sample::make_sample(im, jm, lm);
    a.pr = {1000.0f, 925.0f, 850.0f, 700.0f};
    c.spoil(a);
    test::write_case(dir.path(), a);
    const auto r = run_conv2model(dir.path(), "an.bin\n\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.ends_with(c.last_line)) << r.out;
    EXPECT_NE(r.err.find("conversion stopped"), std::string::npos);
    EXPECT_FALSE(file_exists(dir / "an.bin.ORUwrk"));
    EXPECT_FALSE(file_exists(dir / "an.bin.ORUwrk.gdsinfo"));
  }
}

TEST(whole_run, standard_input_needs_two_lines) {
  test::scratch_dir dir;
  test::write_case(dir.path(), sample::make_sample(3, 3, 1));
  EXPECT_EQ(run_conv2model(dir.path(), "an.bin\nline two").status, 0);  // no final line feed
  EXPECT_EQ(run_conv2model(dir.path(), "an.bin\n\n").status, 0);
  for (const char* bad : {"", "an.bin\n", "an.bin"}) {
    const auto r = run_conv2model(dir.path(), bad);
    EXPECT_EQ(r.status, 1) << bad;
    EXPECT_NE(r.err.find("standard input"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// Standard input written on Windows: the carriage return before each line feed is not
// part of the line, so the run is the same, byte for byte, as with plain line feeds.
TEST(whole_run, carriage_returns_before_line_feeds_are_dropped) {
  test::scratch_dir dir;
  test::write_case(dir.path(), sample::make_sample(4, 3, 2));
  const auto lf = run_conv2model(dir.path(), "an.bin\nsecond\n");
  ASSERT_EQ(lf.status, 0) << lf.err;
  const std::string work = read_file(dir / "an.bin.ORUwrk");
  const std::string info = read_file(dir / "an.bin.ORUwrk.gdsinfo");
  std::filesystem::remove(dir / "an.bin.ORUwrk");
  std::filesystem::remove(dir / "an.bin.ORUwrk.gdsinfo");

  const auto crlf = run_conv2model(dir.path(), "an.bin\r\nsecond\r\n");
  ASSERT_EQ(crlf.status, 0) << crlf.err;
  EXPECT_EQ(crlf.out, lf.out);
  EXPECT_EQ(crlf.out.find('\r'), std::string::npos);
  EXPECT_EQ(read_file(dir / "an.bin.ORUwrk"), work);
  EXPECT_EQ(read_file(dir / "an.bin.ORUwrk.gdsinfo"), info);
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().find('\r'), std::string::npos) << entry.path();
}

TEST(whole_run, overlong_or_empty_input_names_are_refused_before_any_file_is_opened) {
  test::scratch_dir dir;
  test::write_case(dir.path(), sample::make_sample(3, 3, 1));
  const std::string long_name(240, 'L');
  auto r = run_conv2model(dir.path(), long_name + "\n\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("at most 239"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");

  r = run_conv2model(dir.path(), std::string(300, 'x') + "\n\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no blank"), std::string::npos) << r.err;

  r = run_conv2model(dir.path(), "  an.bin\n\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("empty input file name"), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.ends_with(" OPEN FILE \n")) << r.out;
}

TEST(whole_run, a_write_that_fails_part_way_is_a_failure) {
  test::scratch_dir dir;
  test::write_case(dir.path(), sample::make_sample(40, 30, 10));
  const auto r = run_conv2model(dir.path(), "an.bin\n\n", 20000);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("an.bin.ORUwrk: cannot write"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("writing these sfc values"), std::string::npos);
}

TEST(whole_run, outputs_that_cannot_be_created_are_failures) {
  test::scratch_dir dir;
  test::write_case(dir.path(), sample::make_sample(3, 3, 1));
  std::filesystem::create_directory(dir / "an.bin.ORUwrk.gdsinfo");
  auto r = run_conv2model(dir.path(), "an.bin\n\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("an.bin.ORUwrk.gdsinfo"), std::string::npos) << r.err;
  std::filesystem::remove(dir / "an.bin.ORUwrk.gdsinfo");
  std::filesystem::remove(dir / "an.bin.ORUwrk");
  std::filesystem::create_directory(dir / "an.bin.ORUwrk");
  r = run_conv2model(dir.path(), "an.bin\n\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("an.bin.ORUwrk: cannot open work file"), std::string::npos) << r.err;
}

// CONV2MODEL_TIMING=1 adds the step times on standard error and changes nothing else.
TEST(whole_run, step_timing_goes_to_standard_error_only) {
  test::scratch_dir dir;
  sample::sample_options options;
  options.missing_rh_top = 1;
  test::write_case(dir.path(), sample::make_sample(40, 30, 10, options));
  const auto plain = run_conv2model(dir.path(), "an.bin\n\n");
  ASSERT_EQ(plain.status, 0) << plain.err;
  const std::string work = read_file(dir / "an.bin.ORUwrk");
  const std::string info = read_file(dir / "an.bin.ORUwrk.gdsinfo");

  ::setenv("CONV2MODEL_TIMING", "1", 1);
  const auto timed = run_conv2model(dir.path(), "an.bin\n\n");
  ::unsetenv("CONV2MODEL_TIMING");
  ASSERT_EQ(timed.status, 0) << timed.err;
  EXPECT_EQ(timed.out, plain.out);
  EXPECT_EQ(read_file(dir / "an.bin.ORUwrk"), work);
  EXPECT_EQ(read_file(dir / "an.bin.ORUwrk.gdsinfo"), info);
  std::string steps;
  std::size_t at = 0;
  while (at < timed.err.size()) {
    const std::size_t end = timed.err.find('\n', at);
    ASSERT_NE(end, std::string::npos) << timed.err;
    const std::string line = timed.err.substr(at, end - at);
    ASSERT_TRUE(line.starts_with("conv2model timing: ") && line.ends_with(" ms")) << line;
    steps += line.substr(19, line.find(' ', 19) - 19) + " ";
    at = end + 1;
  }
  EXPECT_EQ(steps,
            "es_ini config input missing_fix level_check soil_fix rh_to_q work_open info_file "
            "records release ");
}

// On a kernel with transparent huge pages off the grids and the mapped input are in
// ordinary pages: the run is slower and writes the same bytes, and an input cut under
// the run is still reported, not a crash.
TEST(whole_run, the_same_without_transparent_huge_pages) {
  test::scratch_dir dir;
  sample::sample_options options;
  options.missing_rh_top = 2;
  // Grids of several 2 MiB pages, an input of several large folios.
  test::write_case(dir.path(), sample::make_sample(400, 300, 6, options));
  const auto with = run_conv2model(dir.path(), "an.bin\n\n");
  ASSERT_EQ(with.status, 0) << with.err;
  const std::string work = read_file(dir / "an.bin.ORUwrk");
  const std::string info = read_file(dir / "an.bin.ORUwrk.gdsinfo");
  std::filesystem::remove(dir / "an.bin.ORUwrk");
  std::filesystem::remove(dir / "an.bin.ORUwrk.gdsinfo");
  const auto without = run_conv2model(dir.path(), "an.bin\n\n", 0, nullptr, true);
  ASSERT_EQ(without.status, 0) << without.err;
  EXPECT_EQ(without.out, with.out);
  EXPECT_TRUE(read_file(dir / "an.bin.ORUwrk") == work) << "work file differs";
  EXPECT_EQ(read_file(dir / "an.bin.ORUwrk.gdsinfo"), info);

  // The info file a link to the input: writing it cuts the input under the views.
  std::filesystem::remove(dir / "an.bin.ORUwrk.gdsinfo");
  std::filesystem::create_symlink("an.bin", dir / "an.bin.ORUwrk.gdsinfo");
  const auto cut = run_conv2model(dir.path(), "an.bin\n\n", 0, nullptr, true);
  EXPECT_EQ(cut.signal, 0);
  EXPECT_EQ(cut.status, 1);
  EXPECT_TRUE(
      cut.err.starts_with("conv2model: an.bin: the file was cut while it was being "
                          "converted"))
      << cut.err;
}

}  // namespace
}  // namespace c2m

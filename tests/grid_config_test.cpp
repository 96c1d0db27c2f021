#include "driver/grid_config.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/errors.hpp"
#include "driver/list_input.hpp"

namespace c2m {
namespace {

run_state read_config(const std::string& text) {
  list_reader cfg(text, "cfg");
  run_state run;
  read_grid_description(cfg, run);
  read_config_pressures(cfg, run);
  return run;
}

std::string error_of(const std::string& text) {
  try {
    read_config(text);
  } catch (const run_error& e) {
    return e.what();
  }
  return "no error";
}

void expect_grid(const run_state& run, const char* title, std::int32_t im, std::int32_t jm,
                 std::int32_t lm) {
  EXPECT_EQ(run.title, title);
  EXPECT_EQ(run.im, im);
  EXPECT_EQ(run.jm, jm);
  EXPECT_EQ(run.lm, lm);
}

TEST(grid_config, reads_title_dimensions_description_and_pressures) {
  const auto run = read_config(
      "GFS analysis\n3 4 2\n0\n-90000\n0\n90000\n359000\n1000\n1000\n"
      "1000.\n850\n");
  expect_grid(run, "GFS analysis        ", 3, 4, 2);
  EXPECT_EQ(run.kgds[1], 0);
  EXPECT_EQ(run.kgds[4], -90000);
  EXPECT_EQ(run.kgds[5], 0);
  EXPECT_EQ(run.kgds[7], 90000);
  EXPECT_EQ(run.kgds[8], 359000);
  EXPECT_EQ(run.kgds[9], 1000);
  EXPECT_EQ(run.kgds[10], 1000);
  ASSERT_EQ(run.pr.size(), 2u);
  EXPECT_EQ(run.pr[0], 1000.0f);
  EXPECT_EQ(run.pr[1], 850.0f);
}

TEST(grid_config, dimensions_continue_over_lines_and_extra_values_are_ignored) {
  // Blank and empty lines do not count; tabs and commas separate; a CR ends a line.
  const auto run = read_config(
      "t\r\n3\r\n\r\n   \r\n4,\t5 6 7 ! comment\r\n1 2\n2\n3\n4\n5\n6\n7\n"
      "1\n2\n3\n4\n5\n");
  expect_grid(run, "t                   ", 3, 4, 5);
  EXPECT_EQ(run.kgds[1], 1);  // the 2 after it on its line is ignored
  EXPECT_EQ(run.kgds[4], 2);
  EXPECT_EQ(run.kgds[10], 7);
  EXPECT_EQ(run.pr[4], 5.0f);
}

TEST(grid_config, fortran_real_forms) {
  EXPECT_EQ(parse_real("1000"), 1000.0f);
  EXPECT_EQ(parse_real("1000."), 1000.0f);
  EXPECT_EQ(parse_real(".5"), 0.5f);
  EXPECT_EQ(parse_real("1.0e3"), 1000.0f);
  EXPECT_EQ(parse_real("1.0D3"), 1000.0f);
  EXPECT_EQ(parse_real("+4"), 4.0f);
  EXPECT_EQ(parse_real("-7.000E+02"), -700.0f);
  EXPECT_EQ(parse_real("850.4"), 850.4f);  // correctly rounded
  for (const char* bad : {"", ".", "e3", "1e", "1.0e+", "12abc", "hPa", "1..0", "--1", "1e99"})
    EXPECT_FALSE(parse_real(bad)) << bad;
}

TEST(grid_config, integers_must_fit_32_bits_and_hold_only_digits) {
  EXPECT_EQ(parse_int32("+4"), 4);
  EXPECT_EQ(parse_int32("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(parse_int32("2147483647"), 2147483647);
  for (const char* bad :
       {"4.5", "12abc", "2147483648", "-2147483649", "1e3", "", "+", "99999999999999999999"})
    EXPECT_FALSE(parse_int32(bad)) << bad;
}

TEST(grid_config, malformed_values_name_the_line) {
  EXPECT_NE(error_of("t\n3 4 x\n").find("cfg: line 2"), std::string::npos);
  EXPECT_NE(error_of("t\n3 4 1.5\n").find("\"1.5\""), std::string::npos);
  EXPECT_NE(error_of("t\n3 4 1\n0\n0\n0\n0\n0\n0\n2147483648\n").find("line 9"), std::string::npos);
  EXPECT_NE(error_of("t\n3 4 1\n0\n0\n0\n0\n0\n0\n0\n\nabc\n").find("line 11"), std::string::npos);
}

TEST(grid_config, end_of_file_before_a_value) {
  EXPECT_NE(error_of("").find("end of file"), std::string::npos);
  EXPECT_NE(error_of("title only\n").find("end of file"), std::string::npos);
  EXPECT_NE(error_of("t\n3 4\n").find("end of file"), std::string::npos);
  EXPECT_NE(error_of("t\n3 4 2\n0\n0\n0\n0\n0\n0\n0\n1000\n").find("pressure of level 2"),
            std::string::npos);
}

TEST(grid_config, dimensions_below_one_are_refused) {
  EXPECT_NE(error_of("t\n0 4 2\n0\n0\n0\n0\n0\n0\n0\n").find("at least 1"), std::string::npos);
  EXPECT_NE(error_of("t\n3 -4 2\n0\n0\n0\n0\n0\n0\n0\n").find("at least 1"), std::string::npos);
  EXPECT_NE(error_of("t\n3 4 0\n0\n0\n0\n0\n0\n0\n0\n").find("at least 1"), std::string::npos);
}

}  // namespace
}  // namespace c2m

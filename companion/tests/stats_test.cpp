#include "companion/stats.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "companion/tests/work_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::inspect {
namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

TEST(inspect_stats, counts_gaps_and_takes_extremes_and_mean_over_valid_points_only) {
  const std::vector<float> v = {1.0f, -99999.0f, nan, 0.0f, -0.0f, 3.0f, 8.0f, inf, 4.0f};
  const record_stats s = compute_stats(v, range_check::none);
  EXPECT_EQ(s.valid, 6u);
  EXPECT_EQ(s.missing, 1u);
  EXPECT_EQ(s.nan, 1u);
  EXPECT_EQ(s.inf, 1u);
  EXPECT_EQ(s.zero, 2u);
  EXPECT_EQ(s.min, 0.0f);
  EXPECT_EQ(s.max, 8.0f);
  EXPECT_DOUBLE_EQ(s.mean, 16.0 / 6.0);
}

TEST(inspect_stats, has_no_extremes_when_nothing_is_valid) {
  const std::vector<float> v = {-99999.0f, -99999.0f, nan};
  const record_stats s = compute_stats(v, range_check::temperature);
  EXPECT_EQ(s.valid, 0u);
  EXPECT_EQ(s.missing, 2u);
  EXPECT_EQ(s.implausible, 0u);  // gaps are counted as gaps, not as implausible values
}

TEST(inspect_stats, histogram_spreads_valid_points_over_ten_equal_bins) {
  std::vector<float> v;
  for (int k = 0; k <= 100; ++k) v.push_back(static_cast<float>(k));  // 0 .. 100
  v.push_back(-99999.0f);
  const record_stats s = compute_stats(v, range_check::none);
  // Bins of width 10; the maximum falls in the last bin.
  EXPECT_EQ(s.histogram, (std::array<std::size_t, 10>{10, 10, 10, 10, 10, 10, 10, 10, 10, 11}));

  const std::vector<float> constant(7, 2.5f);
  EXPECT_EQ(compute_stats(constant, range_check::none).histogram[0], 7u);
}

TEST(inspect_stats, flags_values_outside_the_plausible_range_of_each_field) {
  const auto implausible = [](std::vector<float> v, range_check c) {
    return compute_stats(v, c).implausible;
  };
  EXPECT_EQ(implausible({149.9f, 150.0f, 350.0f, 350.1f, 0.0f}, range_check::temperature), 3u);
  EXPECT_EQ(implausible({-1e-9f, 0.0f, 0.02f}, range_check::humidity), 1u);
  EXPECT_EQ(implausible({0.0f, 1.0f, 0.5f, 2.0f, -0.0f}, range_check::mask), 2u);
  EXPECT_EQ(implausible({0.0f, 1.0f, 1.01f, -0.1f}, range_check::soil_moisture), 2u);
  EXPECT_EQ(implausible({-1e30f, 1e30f}, range_check::none), 0u);
}

TEST(inspect_stats, table_has_one_row_per_record_with_level_pressure_counts_and_flags) {
  c2m::test::scratch_dir dir;
  test::work_case c = test::make_case(3, 2, 2);
  c.at(9, 1, 1) = 100.0f;     // tp level 1: one implausible temperature
  c.at(4, 2, 1) = -99999.0f;  // vw level 2: one missing point
  c.at(15, 3, 2) = 0.0f;      // st1: a zero the soil repair left
  c.at(16, 1, 2) = nan;       // sm1: a NaN
  write_case(c, dir / "w");
  std::ostringstream out;
  print_stats(read_work_file(dir / "w"), true, out);
  const std::string t = out.str();

  std::vector<std::string> rows;
  std::istringstream lines(t);
  for (std::string line; std::getline(lines, line);)
    if (line.find("histogram") == std::string::npos) rows.push_back(line);
  ASSERT_EQ(rows.size(), 1u + 22u) << t;
  EXPECT_NE(rows[0].find("min"), std::string::npos);
  EXPECT_NE(rows[0].find("flags"), std::string::npos);

  const auto words = [](const std::string& line) {
    std::vector<std::string> w;
    std::istringstream s(line);
    for (std::string x; s >> x;) w.push_back(x);
    return w;
  };
  // rec field level hPa min max mean -99999 NaN 0.0 flags
  EXPECT_EQ(words(rows[4]),
            (std::vector<std::string>{"4", "vw", "2", "900", "5", "5", "5", "1", "0", "0"}));
  EXPECT_EQ(words(rows[9]),
            (std::vector<std::string>{"9", "tp", "1", "1000", "100", "250", "225", "0", "0", "0",
                                      "1", "outside", "150..350", "K"}));
  EXPECT_EQ(words(rows[11]),
            (std::vector<std::string>{"11", "lsm", "-", "-", "1", "1", "1", "0", "0", "0"}));
  EXPECT_EQ(words(rows[15]),
            (std::vector<std::string>{"15", "st1", "-", "-", "0", "280", "233.333", "0", "0", "1",
                                      "1", "outside", "150..350", "K"}));
  EXPECT_EQ(words(rows[16])[8], "1");  // the NaN of sm1
  EXPECT_NE(t.find("histogram 100 .. 250, 10 bins: 1 0 0 0 0 0 0 0 0 5"), std::string::npos) << t;
}

}  // namespace
}  // namespace c2m::inspect

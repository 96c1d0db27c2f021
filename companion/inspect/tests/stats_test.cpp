#include "companion/inspect/stats.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "companion/inspect/tests/work_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::inspect {
namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

TEST(inspect_stats, counts_gaps_and_takes_extremes_and_mean_over_valid_points_only) {
  const std::vector<float> v = {1.0f, -99999.0f, nan, 0.0f, -0.0f, 3.0f, 8.0f, inf, 4.0f};
  const record_stats s = compute_stats(v);
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
  const record_stats s = compute_stats(v, companion::describe_field("Temperature (K)").range);
  EXPECT_EQ(s.valid, 0u);
  EXPECT_EQ(s.missing, 2u);
  EXPECT_EQ(s.implausible, 0u);  // gaps are counted as gaps, not as implausible values
}

TEST(inspect_stats, histogram_spreads_valid_points_over_ten_equal_bins) {
  std::vector<float> v;
  for (int k = 0; k <= 100; ++k) v.push_back(static_cast<float>(k));  // 0 .. 100
  v.push_back(-99999.0f);
  const record_stats s = compute_stats(v);
  // Bins of width 10; the maximum falls in the last bin.
  EXPECT_EQ(s.histogram, (std::array<std::size_t, 10>{10, 10, 10, 10, 10, 10, 10, 10, 10, 11}));

  const std::vector<float> constant(7, 2.5f);
  EXPECT_EQ(compute_stats(constant).histogram[0], 7u);
}

TEST(inspect_stats, flags_values_outside_the_plausible_range_of_each_field) {
  const auto implausible = [](std::vector<float> v, const char* info_name) {
    return compute_stats(v, companion::describe_field(info_name).range).implausible;
  };
  EXPECT_EQ(implausible({149.9f, 150.0f, 350.0f, 350.1f, 0.0f}, "Temperature (K)"), 3u);
  EXPECT_EQ(implausible({-1e-9f, 0.0f, 0.02f, 0.06f}, "Specific humidity (kg/kg)"), 2u);
  EXPECT_EQ(implausible({0.0f, 1.0f, 0.5f, 2.0f, -0.0f}, "Land-sea mask ( )"), 2u);
  EXPECT_EQ(implausible({0.0f, 1.0f, 1.01f, -0.1f}, "Soil Moisture layer 3 (0-1)"), 2u);
  EXPECT_EQ(implausible({0.0f, 280.0f}, "Soil Temperature  layer 4 (K)"), 1u);
  // Faults that once passed unflagged: a 300 m/s wind, a pressure in Pa where hPa belong,
  // a surface pressure of 5000 hPa, a topography of -500 m.
  EXPECT_EQ(implausible({-150.0f, 150.0f, 300.0f, -151.0f}, "Meridional wind (m/s)"), 2u);
  EXPECT_EQ(implausible({-150.0f, 150.0f, 300.0f}, "Zonal wind (m/s)"), 1u);
  EXPECT_EQ(implausible({1013.25f, 101325.0f, 870.0f}, "M S L Pressure (hPa)"), 1u);
  EXPECT_EQ(implausible({5000.0f, 1000.0f, 320.0f}, "Surface Pressure (hPa)"), 1u);
  EXPECT_EQ(implausible({-500.0f, -400.0f, 8848.0f}, "Topography (m)"), 1u);
  EXPECT_EQ(implausible({-2000.0f, 100.0f, 90000.0f}, "Geopotential height (m)"), 2u);
  EXPECT_EQ(implausible({-1e30f, 1e30f}, "Cloud water (kg/kg)"), 0u);  // unknown: no range
}

TEST(inspect_stats, fields_over_land_only_are_checked_over_land_only) {
  c2m::test::scratch_dir dir;
  test::work_case c = test::make_case(3, 2, 1);
  for (std::int32_t i = 1; i <= 3; ++i) {
    c.at(6, i, 1) = 0.0f;   // a row of sea
    c.at(10, i, 1) = 0.0f;  // tsl1: 0 K over it, fill
  }
  c.at(10, 2, 2) = 0.0f;   // and once over land: a fault
  c.at(7, 1, 1) = 200.0f;  // psl is checked everywhere, sea included
  write_case(c, dir / "w");
  std::ostringstream out;
  EXPECT_EQ(print_stats(companion::read_work_file(dir / "w"), false, out), 2u);
  EXPECT_NE(out.str().find("  tsl1 "), std::string::npos);
  EXPECT_NE(out.str().find("  1 outside 150..350 K\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("  1 outside 850..1100 hPa\n"), std::string::npos) << out.str();
}

TEST(inspect_stats, table_has_one_row_per_record_with_level_pressure_counts_and_flags) {
  c2m::test::scratch_dir dir;
  test::work_case c = test::make_case(3, 2, 2);
  c.at(9, 1, 1) = 100.0f;     // tp level 1: one implausible temperature
  c.at(4, 2, 1) = -99999.0f;  // vw level 2: one missing point
  c.at(15, 3, 2) = 0.0f;      // st1: a zero the soil repair left
  c.at(16, 1, 2) = nan;       // sm1: a NaN
  c.at(13, 2, 2) = 5000.0f;   // ps: hPa out of range
  write_case(c, dir / "w");
  std::ostringstream out;
  print_stats(companion::read_work_file(dir / "w"), true, out);
  const std::string t = out.str();

  std::vector<std::string> rows;
  std::istringstream lines(t);
  for (std::string line; std::getline(lines, line);)
    if (line.find("histogram") == std::string::npos) rows.push_back(line);
  ASSERT_EQ(rows.size(), 1u + 22u + 1u) << t;
  EXPECT_EQ(rows.back(), "5 flags raised in 5 of 22 records");
  EXPECT_NE(rows[0].find("min"), std::string::npos);
  EXPECT_NE(rows[0].find("flags"), std::string::npos);

  const auto words = [](const std::string& line) {
    std::vector<std::string> w;
    std::istringstream s(line);
    for (std::string x; s >> x;) w.push_back(x);
    return w;
  };
  // rec field level hPa min max mean -99999 NaN 0.0 flags
  EXPECT_EQ(words(rows[4]), (std::vector<std::string>{"4", "va", "2", "900", "5", "5", "5", "1",
                                                      "0", "0", "1", "missing", "(-99999)"}));
  EXPECT_EQ(words(rows[9]),
            (std::vector<std::string>{"9", "ta", "1", "1000", "100", "250", "225", "0", "0", "0",
                                      "1", "outside", "150..350", "K"}));
  EXPECT_EQ(words(rows[11]),
            (std::vector<std::string>{"11", "sftlf", "-", "-", "1", "1", "1", "0", "0", "0"}));
  EXPECT_EQ(words(rows[15]),
            (std::vector<std::string>{"15", "tsl1", "-", "-", "0", "280", "233.333", "0", "0", "1",
                                      "1", "outside", "150..350", "K"}));
  EXPECT_EQ(words(rows[16]), (std::vector<std::string>{"16", "mrsov1", "-", "-", "0.3", "0.3",
                                                       "0.3", "0", "1", "0", "1", "NaN"}));
  EXPECT_EQ(words(rows[13]),
            (std::vector<std::string>{"13", "ps", "-", "-", "1000", "5000", "1666.67", "0", "0",
                                      "0", "1", "outside", "300..1100", "hPa"}));
  EXPECT_NE(t.find("histogram 100 .. 250, 10 bins: 1 0 0 0 0 0 0 0 0 5"), std::string::npos) << t;
}

}  // namespace
}  // namespace c2m::inspect

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/constants.hpp"
#include "common/line_layout.hpp"
#include "conditioning/conditioning.hpp"

namespace c2m {
namespace {

// The zero fill as the algorithm states it: 15 passes of two in-place sweeps.
void literal_fill(std::vector<float>& v) {
  const std::size_t n = v.size();
  for (int pass = 0; pass < 15; ++pass) {
    for (std::size_t i = 0; i + 1 < n; ++i)
      if (v[i] == 0.0f && v[i + 1] != 0.0f) v[i] = v[i + 1];
    for (std::size_t i = 1; i < n; ++i)
      if (v[i] == 0.0f && v[i - 1] != 0.0f) v[i] = v[i - 1];
  }
}

std::vector<float> filled(std::vector<float> v) {
  soil_fill_row(v);
  return v;
}

bool same_bits(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k)
    if (std::bit_cast<std::uint32_t>(a[k]) != std::bit_cast<std::uint32_t>(b[k])) return false;
  return true;
}

TEST(soil_fix, rows_fill_as_the_sweeps_do) {
  const float a = 2.0f, b = 3.0f;
  EXPECT_EQ(filled({0, 0, 0, 0, 5}), (std::vector<float>{5, 5, 5, 5, 5}));
  EXPECT_EQ(filled({a, 0, b}), (std::vector<float>{a, b, b}));
  EXPECT_EQ(filled({a, 0, 0, 0, b}), (std::vector<float>{a, a, a, b, b}));
  EXPECT_EQ(filled({a, 0, 0}), (std::vector<float>{a, a, a}));
  EXPECT_EQ(filled({0, 0, 0}), (std::vector<float>{0, 0, 0}));
  EXPECT_EQ(filled({-99999.0f, 0, 0, 4}), (std::vector<float>{-99999.0f, -99999.0f, 4, 4}));

  std::vector<float> twenty(21, 0.0f);
  twenty[20] = 7.0f;
  const std::vector<float> r = filled(twenty);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(r[static_cast<std::size_t>(k)], 0.0f) << k;
  for (int k = 5; k < 21; ++k) EXPECT_EQ(r[static_cast<std::size_t>(k)], 7.0f) << k;
}

TEST(soil_fix, single_pass_equals_the_literal_sweeps_on_random_rows) {
  std::mt19937 rng(12345);
  const float specials[] = {0.0f, -0.0f, -99999.0f, std::numeric_limits<float>::quiet_NaN(),
                            1.5f, 280.0f};
  for (int trial = 0; trial < 20000; ++trial) {
    const std::size_t n = 1 + rng() % 70;
    const unsigned zero_share = rng() % 100;  // from sparse to nearly all gaps
    std::vector<float> row(n);
    for (float& v : row)
      v = rng() % 100 < zero_share ? (rng() % 2 ? 0.0f : -0.0f)
                                   : specials[rng() % 6] + static_cast<float>(rng() % 3);
    std::vector<float> want = row;
    literal_fill(want);
    std::vector<float> got = row;
    soil_fill_row(got);
    ASSERT_TRUE(same_bits(want, got)) << "trial " << trial;
  }
}

grid soil_stack(std::int32_t im, std::int32_t jm) {
  grid slp = make_grid(im, jm, 12);
  for (std::int32_t k = 1; k <= 12; ++k)
    for (std::size_t p = 0; p < slp.level_size(); ++p)
      slp.level(k)[p] = k % 2 ? 280.0f + static_cast<float>(k) : 0.25f;
  return slp;
}

std::string run_soil_fix(grid& slp) {
  testing::internal::CaptureStdout();
  soil_fix(slp);
  return testing::internal::GetCapturedStdout();
}

TEST(soil_fix, moisture_is_capped_and_temperatures_are_not) {
  grid slp = soil_stack(4, 1);
  slp.at(1, 1, 6) = 0.6f;
  slp.at(2, 1, 6) = 0.61f;
  slp.at(3, 1, 12) = 7.0f;
  slp.at(1, 1, 5) = 7.0f;
  slp.at(2, 1, 2) = 7.0f;  // fields 1 to 4 are left alone
  EXPECT_EQ(run_soil_fix(slp), format_line({"going to use nsfcfld= ", 12}));
  EXPECT_EQ(slp.at(1, 1, 6), 0.6f);
  EXPECT_EQ(slp.at(2, 1, 6), 0.3f);
  EXPECT_EQ(slp.at(3, 1, 12), 0.3f);
  EXPECT_EQ(slp.at(1, 1, 5), 7.0f);
  EXPECT_EQ(slp.at(2, 1, 2), 7.0f);
}

TEST(soil_fix, missing_deep_layers_are_copied_from_repaired_layer_two) {
  grid slp = soil_stack(3, 2);
  slp.at(1, 1, 7) = 0.0f;  // repaired from its neighbour before field 11 copies it
  slp.at(2, 1, 7) = 290.0f;
  slp.at(3, 2, 8) = 0.9f;  // capped before field 10 copies it
  slp.at(1, 1, 10) = missing_value;
  slp.at(1, 1, 11) = missing_value;
  slp.at(1, 1, 6) = missing_value;
  const std::string log = run_soil_fix(slp);
  EXPECT_EQ(log, format_line({"going to use nsfcfld= ", 12}) +
                     format_line({"SURFACE DATA MISSING... ", 6}) +
                     format_line({"SURFACE DATA MISSING... ", 10}) +
                     format_line({"filling soil moisture data..."}) +
                     format_line({"SURFACE DATA MISSING... ", 11}) +
                     format_line({"filling soil temp data..."}));
  for (std::size_t p = 0; p < slp.level_size(); ++p) {
    EXPECT_EQ(slp.level(11)[p], slp.level(7)[p]);
    EXPECT_EQ(slp.level(10)[p], slp.level(8)[p]);
  }
  EXPECT_EQ(slp.at(1, 1, 11), 290.0f);
  EXPECT_EQ(slp.at(3, 2, 10), 0.3f);
  EXPECT_EQ(slp.at(1, 1, 6), missing_value);  // layer 1 is announced, not replaced
}

}  // namespace
}  // namespace c2m

// What a decoding process reports of a field: the holes and the first value that stops
// the run, judged on floats exactly as plausible() judges them in double.
#include "companion/prepare/plausibility.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "common/constants.hpp"
#include "companion/common/fields.hpp"
#include "companion/prepare/field_table.hpp"

namespace c2m::prepare {
namespace {

constexpr std::size_t fields = n_upper + nsfcfld;

bool refused(float v, std::size_t k, bool allow = false) {
  return summarize({&v, 1}, k, allow).refused;
}

TEST(summarize, refuses_on_floats_what_plausible_refuses_at_the_ends_of_each_range) {
  for (std::size_t k = 0; k < fields; ++k) {
    const c2m::companion::plausible_range r = c2m::companion::input_range(k);
    if (!r.checked) continue;
    const double slack = 1e-3 * (double(r.high) - double(r.low));
    for (const double end : {r.low - slack, r.high + slack}) {
      float v = static_cast<float>(end);
      for (int step = 0; step < 3; ++step) v = std::nextafter(v, -INFINITY);
      for (int step = 0; step < 7; ++step, v = std::nextafter(v, INFINITY))
        EXPECT_EQ(refused(v, k), !plausible(k, double(v)))
            << "field " << k << " value " << double(v) << " near " << end;
    }
  }
}

TEST(summarize, not_finite_values_are_refused_even_when_implausible_ones_are_allowed) {
  for (std::size_t k = 0; k < fields; ++k)
    for (const float v : {std::numeric_limits<float>::quiet_NaN(), INFINITY, -INFINITY}) {
      EXPECT_TRUE(refused(v, k)) << k << " " << v;
      EXPECT_TRUE(refused(v, k, true)) << k << " " << v;
    }
  const std::size_t t = static_cast<std::size_t>(upper_field::ta);
  EXPECT_TRUE(refused(1000.0f, t));
  EXPECT_FALSE(refused(1000.0f, t, true));
  EXPECT_FALSE(refused(input_fill, t));
}

// The first hole and the first refused value are found wherever they lie, in the first
// block of a long field or past it.
TEST(summarize, finds_the_first_hole_and_refusal_anywhere) {
  const std::size_t t = static_cast<std::size_t>(upper_field::ta);
  for (const std::size_t n : {std::size_t{10}, std::size_t{3} << 20}) {
    std::vector<float> v(n, 250.0f);
    EXPECT_FALSE(summarize(v, t, false).refused);
    EXPECT_EQ(summarize(v, t, false).holes, 0u);
    v[n - 2] = std::numeric_limits<float>::quiet_NaN();
    v[n - 1] = 1000.0f;
    v[n / 2] = input_fill;
    v[n - 3] = input_fill;
    const field_summary s = summarize(v, t, false);
    EXPECT_EQ(s.holes, 2u);
    EXPECT_EQ(s.first_hole, n / 2);
    EXPECT_TRUE(s.refused);
    EXPECT_EQ(s.refused_at, n - 2);
    EXPECT_TRUE(std::isnan(s.refused_value));
  }
}

// A decoding process summarises each row as it places it: the points count on from row
// to row, and what comes first in the field is what the summary keeps.
TEST(summarizer, a_field_added_a_row_at_a_time_is_summarised_as_if_whole) {
  const std::size_t t = static_cast<std::size_t>(upper_field::ta), row = 13;
  std::vector<float> v(7 * row, 250.0f);
  v[2 * row + 5] = input_fill;
  v[4 * row] = input_fill;
  v[3 * row + 1] = 1000.0f;
  v[5 * row + 2] = std::numeric_limits<float>::quiet_NaN();
  summarizer rows(t, false);
  for (std::size_t at = 0; at < v.size(); at += row) rows.add({v.data() + at, row});
  const field_summary whole = summarize(v, t, false);
  EXPECT_EQ(rows.summary().holes, 2u);
  EXPECT_EQ(rows.summary().first_hole, 2 * row + 5);
  EXPECT_TRUE(rows.summary().refused);
  EXPECT_EQ(rows.summary().refused_at, 3 * row + 1);
  EXPECT_EQ(rows.summary().refused_value, 1000.0f);
  EXPECT_EQ(whole.first_hole, rows.summary().first_hole);
  EXPECT_EQ(whole.refused_at, rows.summary().refused_at);
}

// Soil is judged over land only: over sea the converter fills it. A point where the mask
// itself has no data is neither land nor sea: its soil value is judged, and a hole
// there is the mask's, not the soil's.
TEST(summarize, soil_is_judged_over_land_only) {
  const std::size_t st1 = n_upper + k_soil_t1 - 1;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> land = {1, 0, 0, 1, input_fill, input_fill};
  const std::vector<float> soil = {280, nan, input_fill, input_fill, input_fill, 280};
  const field_summary s = summarize(soil, st1, false, land.data());
  EXPECT_EQ(s.holes, 1u);
  EXPECT_EQ(s.first_hole, 3u);
  EXPECT_FALSE(s.refused);
  const std::vector<float> bad = {280, 280, 280, 280, 280, nan};
  EXPECT_TRUE(summarize(bad, st1, false, land.data()).refused);
}

}  // namespace
}  // namespace c2m::prepare

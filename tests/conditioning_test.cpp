#include "conditioning/conditioning.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "common/line_layout.hpp"

namespace c2m {
namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();

TEST(missing_fix, input_fill_value_is_the_single_precision_constant) {
  EXPECT_EQ(std::bit_cast<std::uint32_t>(input_fill), 0x6258D19Au);
  std::vector<float> v{input_fill, 1e21f, 9.998e20f, missing_value, nan, 0.0f};
  fill_to(v, missing_value);
  EXPECT_EQ(v[0], missing_value);
  EXPECT_EQ(v[1], 1e21f);
  EXPECT_EQ(v[2], 9.998e20f);
  EXPECT_EQ(v[3], missing_value);
  EXPECT_TRUE(std::isnan(v[4]));
  EXPECT_EQ(v[5], 0.0f);
}

// fill_to reads block by block and writes only blocks that hold the fill value; it must
// leave every value exactly as the point-by-point rule does, at any length and wherever
// the fill values stand relative to the blocks.
TEST(missing_fix, fill_to_equals_the_point_by_point_rule) {
  const std::vector<float> others{1.0f,
                                  -0.0f,
                                  0.0f,
                                  nan,
                                  missing_value,
                                  1e21f,
                                  std::nextafter(input_fill, 0.0f),
                                  std::nextafter(input_fill, 1e30f),
                                  -input_fill};
  std::uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (std::size_t n = 0; n <= 300; ++n) {
    for (int density : {0, 1, 8, 100}) {  // per cent of fill values; 0 tests a lone fill
      std::vector<float> v(n);
      for (float& x : v)
        x = next() % 100 < static_cast<std::uint32_t>(density) ? input_fill
                                                               : others[next() % others.size()];
      if (density == 0 && n > 0) v[next() % n] = input_fill;
      std::vector<float> want = v;
      for (float& x : want)
        if (x == input_fill) x = 0.0f;
      fill_to(v, 0.0f);
      for (std::size_t k = 0; k < n; ++k)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(v[k]), std::bit_cast<std::uint32_t>(want[k]))
            << "length " << n << ", density " << density << ", point " << k;
    }
  }
}

TEST(missing_fix, mask_becomes_zero_or_one) {
  std::vector<float> m{
      0.1f, std::nextafter(0.1f, 0.0f), -99999.0f, 0.5f, 1.0f, 2.0f, 100.0f, input_fill, nan,
      -0.0f};
  mask_fix(m);
  const std::vector<float> want{1, 0, 0, 1, 1, 1, 1, 1};
  for (std::size_t k = 0; k < want.size(); ++k) EXPECT_EQ(m[k], want[k]) << k;
  EXPECT_TRUE(std::isnan(m[8]));
  EXPECT_EQ(m[9], 0.0f);
}

TEST(missing_fix, whole_run_grids) {
  run_state run;
  run.im = 2;
  run.jm = 1;
  run.lm = 1;
  for (grid* g : {&run.ht, &run.tp, &run.uw, &run.vw, &run.rh}) {
    *g = make_grid(2, 1, 1);
    g->at(1, 1, 1) = input_fill;
    g->at(2, 1, 1) = nan;
  }
  run.slp = make_grid(2, 1, 12);
  for (float& v : run.slp.all()) v = input_fill;
  run.slp.at(2, 1, 7) = missing_value;
  missing_fix(run);
  for (const grid* g : {&run.ht, &run.tp, &run.uw, &run.vw, &run.rh}) {
    EXPECT_EQ(g->at(1, 1, 1), missing_value);
    EXPECT_TRUE(std::isnan(g->at(2, 1, 1)));
  }
  EXPECT_EQ(run.slp.at(1, 1, 1), 1.0f);  // a fill value in the mask is land
  for (int k = 2; k <= 12; ++k) EXPECT_EQ(run.slp.at(1, 1, k), 0.0f) << k;
  EXPECT_EQ(run.slp.at(2, 1, 7), missing_value);
}

// The level check on a 2 x 1 grid with lm levels, every first point holding data
// unless listed as missing.
struct column {
  std::int32_t lm;
  grid ht, tp, rh, uw, vw;
  std::vector<float> q, pr;

  explicit column(std::vector<float> pressures) : lm(static_cast<std::int32_t>(pressures.size())) {
    pr = std::move(pressures);
    q.assign(pr.size(), 0.0f);
    for (grid* g : {&ht, &tp, &rh, &uw, &vw}) {
      *g = make_grid(2, 1, lm);
      for (std::int32_t l = 1; l <= lm; ++l) {
        g->at(1, 1, l) = static_cast<float>(l);
        g->at(2, 1, l) = static_cast<float>(10 * l);
      }
    }
  }
  void missing(grid& g, std::initializer_list<int> levels) {
    for (int l : levels) g.at(1, 1, l) = missing_value;
  }
  // The log; stopped tells whether the run was stopped.
  std::string check(bool& stopped) {
    testing::internal::CaptureStdout();
    stopped = false;
    try {
      level_check(ht, tp, rh, uw, vw, q, pr, lm);
    } catch (const data_stop&) {
      stopped = true;
    }
    return testing::internal::GetCapturedStdout();
  }
};

std::string lines(std::initializer_list<std::string> ls) {
  std::string s;
  for (const auto& l : ls) s += l;
  return s;
}

const std::string start = format_line({"Check for any missing data"});
const std::string patch = format_line({"Calling RH patch."});
std::string rh_missing(float p) {
  return format_line({"RH data missing at level: ", p});
}
std::string copying(int a, int b) {
  return format_line({"Copying", a, " mb to", b, " mb."});
}
std::string checking(float p) {
  return format_line({"checking RH at lev= ", p});
}

TEST(rh_fix, message_sequences_with_four_levels) {
  const std::string final_fail = format_line({"RH patch did not work.."});
  const std::string bottom_fail = format_line({"RH patch did not work."});
  struct patch_case {
    std::initializer_list<int> missing;
    std::string log;
    bool stops;
  };
  const patch_case cases[] = {
      {{1, 4},
       lines(
           {start, rh_missing(1000), patch, copying(925, 1000), checking(850), copying(850, 700)}),
       false},
      {{1, 2},
       lines({start, rh_missing(1000), patch, copying(850, 925), copying(925, 1000)}),
       false},
      {{3, 4},
       lines({start, rh_missing(850), patch, checking(850), checking(925), copying(925, 850),
              copying(850, 700)}),
       false},
      {{3}, lines({start, rh_missing(850), patch, final_fail}), true},
      {{1, 3}, lines({start, rh_missing(1000), patch, copying(925, 1000), final_fail}), true},
      {{1, 2, 3, 4}, lines({start, rh_missing(1000), patch, bottom_fail}), true},
  };
  for (const auto& pc : cases) {
    column c({1000, 925, 850, 700});
    c.missing(c.rh, pc.missing);
    bool stopped;
    EXPECT_EQ(c.check(stopped), pc.log);
    EXPECT_EQ(stopped, pc.stops) << pc.log;
  }
  column one({500});
  one.missing(one.rh, {1});
  bool stopped;
  EXPECT_EQ(one.check(stopped), lines({start, rh_missing(500), patch, bottom_fail}));
  EXPECT_TRUE(stopped);
}

TEST(rh_fix, patched_levels_take_every_point_of_their_source) {
  column c({1000, 925, 850, 700});
  c.missing(c.rh, {1, 4});
  bool stopped;
  c.check(stopped);
  EXPECT_EQ(c.rh.at(1, 1, 1), 2.0f);
  EXPECT_EQ(c.rh.at(2, 1, 1), 20.0f);
  EXPECT_EQ(c.rh.at(1, 1, 4), 3.0f);
  EXPECT_EQ(c.rh.at(2, 1, 4), 30.0f);

  column d({1000, 925, 850, 700});
  d.missing(d.rh, {1, 2});
  d.check(stopped);
  EXPECT_EQ(d.rh.at(2, 1, 1), 30.0f);
  EXPECT_EQ(d.rh.at(2, 1, 2), 30.0f);
}

TEST(level_check, stops_in_order_of_precedence) {
  bool stopped;
  {
    column c({1000, 925, 850, 700});
    c.missing(c.ht, {2});
    c.missing(c.rh, {2});
    EXPECT_EQ(c.check(stopped),
              lines({start, format_line({"Height data missing at level: ", 925.0f})}));
    EXPECT_TRUE(stopped);
  }
  {
    column c({1000, 925, 850, 700});
    c.missing(c.tp, {3});
    c.missing(c.uw, {2});
    EXPECT_EQ(c.check(stopped),
              lines({start, format_line({"U-wind data missing at level: ", 925.0f})}));
  }
  {
    column c({1000, 925, 850, 700});
    c.missing(c.vw, {4});
    EXPECT_EQ(c.check(stopped),
              lines({start, format_line({"V-wind data missing at level: ", 700.0f})}));
  }
  {
    column c({1000, 925, 850, 700});
    c.missing(c.tp, {1});
    EXPECT_EQ(c.check(stopped),
              lines({start, format_line({"Temperature data missing at level: ", 1000.0f})}));
  }
  {
    column c({1000, 925, 850, 700});
    c.q[2] = missing_value;
    EXPECT_EQ(c.check(stopped),
              lines({start, format_line({"Spec. Humid. data missing at level: ", 850.0f})}));
    EXPECT_TRUE(stopped);
  }
}

// Two fields missing at the same level: the earlier test in the order height,
// temperature, (humidity patch,) u-wind, v-wind, specific humidity names the level.
TEST(level_check, at_one_level_the_earlier_field_is_named) {
  struct field {
    const char* text;
    void (*spoil)(column&, int);
  };
  const field order[] = {
      {"Height data missing at level: ", [](column& c, int l) { c.missing(c.ht, {l}); }},
      {"Temperature data missing at level: ", [](column& c, int l) { c.missing(c.tp, {l}); }},
      {"U-wind data missing at level: ", [](column& c, int l) { c.missing(c.uw, {l}); }},
      {"V-wind data missing at level: ", [](column& c, int l) { c.missing(c.vw, {l}); }},
      {"Spec. Humid. data missing at level: ",
       [](column& c, int l) { c.q[static_cast<std::size_t>(l - 1)] = missing_value; }},
  };
  for (std::size_t a = 0; a < std::size(order); ++a)
    for (std::size_t b = a + 1; b < std::size(order); ++b) {
      column c({1000, 925, 850, 700});
      order[a].spoil(c, 2);
      order[b].spoil(c, 2);
      bool stopped;
      EXPECT_EQ(c.check(stopped), lines({start, format_line({order[a].text, 925.0f})}))
          << order[a].text << "and " << order[b].text;
      EXPECT_TRUE(stopped);
    }
  // Height and temperature are tested before the humidity patch of their level.
  for (std::size_t a = 0; a < 2; ++a) {
    column c({1000, 925, 850, 700});
    order[a].spoil(c, 1);
    c.missing(c.rh, {1});
    bool stopped;
    EXPECT_EQ(c.check(stopped), lines({start, format_line({order[a].text, 1000.0f})}));
    EXPECT_TRUE(stopped);
  }
}

TEST(level_check, the_rh_patch_hides_the_wind_test_of_its_level) {
  column c({1000, 925, 850, 700});
  c.missing(c.rh, {1});
  c.missing(c.uw, {1});
  bool stopped;
  EXPECT_EQ(c.check(stopped), lines({start, rh_missing(1000), patch, copying(925, 1000)}));
  EXPECT_FALSE(stopped);
}

TEST(level_check, only_first_points_count_and_nan_is_data) {
  column c({1000, 925});
  c.ht.at(2, 1, 1) = missing_value;
  c.rh.at(1, 1, 2) = nan;
  bool stopped;
  EXPECT_EQ(c.check(stopped), start);
  EXPECT_FALSE(stopped);
}

TEST(rh_fix, copied_pressures_round_half_away_from_zero) {
  EXPECT_EQ(round_pressure(1012.5f), 1013);
  EXPECT_EQ(round_pressure(850.4f), 850);
  EXPECT_EQ(round_pressure(0.5f), 1);
  EXPECT_EQ(round_pressure(-0.5f), -1);
  EXPECT_EQ(round_pressure(nan), 0);
  EXPECT_EQ(round_pressure(1e10f), 2147483647);
  EXPECT_EQ(round_pressure(-1e10f), -2147483647 - 1);
  EXPECT_EQ(round_pressure(std::numeric_limits<float>::infinity()), 2147483647);

  column c({1012.5f, 850.4f});
  c.missing(c.rh, {2});
  bool stopped;
  EXPECT_EQ(c.check(stopped),
            lines({start, rh_missing(850.4f), patch, checking(1012.5f), copying(1013, 850)}));
}

}  // namespace
}  // namespace c2m

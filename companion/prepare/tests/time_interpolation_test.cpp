// The series at an interval: which times are written, which are interpolated and with
// what weights, what is refused, and the interpolation of one field's values.
#include "companion/prepare/time_interpolation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "common/command_line_options.hpp"
#include "common/errors.hpp"

namespace c2m::prepare {
namespace {

std::string refusal(const std::vector<std::string>& held, std::int64_t interval,
                    std::int64_t max_gap = 360) {
  try {
    series_at(held, interval, max_gap);
  } catch (const run_error& e) {
    return e.what();
  }
  return "accepted";
}

TEST(time_interpolation, six_hours_at_one_hour_gives_seven_times_five_interpolated) {
  const std::vector<std::string> held = {"2011-01-15T12:00Z", "2011-01-15T18:00Z"};
  const std::vector<series_time> s = series_at(held, 60, 360);
  ASSERT_EQ(s.size(), 7u);
  for (std::size_t h = 0; h < 7; ++h) {
    EXPECT_EQ(s[h].valid, "2011-01-15T1" + std::to_string(2 + h) + ":00Z");
    EXPECT_EQ(s[h].held(), h == 0 || h == 6) << h;
    EXPECT_EQ(s[h].after, h == 6 ? 0 : std::int64_t(h) * 60);
  }
  EXPECT_EQ(s[0].earlier, 0u);
  EXPECT_EQ(s[6].earlier, 1u);
  EXPECT_EQ(s[6].later, 1u);
  for (std::size_t h = 1; h < 6; ++h) {
    EXPECT_EQ(s[h].earlier, 0u);
    EXPECT_EQ(s[h].later, 1u);
    EXPECT_EQ(s[h].span, 360);
  }
}

TEST(time_interpolation, a_series_across_midnight_with_uneven_gaps) {
  const std::vector<std::string> held = {"2011-01-15T21:00Z", "2011-01-16T00:00Z",
                                         "2011-01-16T06:00Z"};
  const std::vector<series_time> s = series_at(held, 90, 360);
  std::vector<std::string> valid;
  for (const series_time& t : s) valid.push_back(t.valid);
  EXPECT_EQ(valid,
            (std::vector<std::string>{"2011-01-15T21:00Z", "2011-01-15T22:30Z", "2011-01-16T00:00Z",
                                      "2011-01-16T01:30Z", "2011-01-16T03:00Z", "2011-01-16T04:30Z",
                                      "2011-01-16T06:00Z"}));
  EXPECT_EQ(s[1].span, 180);
  EXPECT_EQ(s[4].earlier, 1u);
  EXPECT_EQ(s[4].later, 2u);
  EXPECT_EQ(s[4].after, 180);
  // One held time is a series of one; an interval as long as the gap interpolates nothing.
  EXPECT_EQ(series_at({"2011-01-15T21:00Z"}, 60, 360).size(), 1u);
  EXPECT_EQ(series_at({"2011-01-15T00:00Z", "2011-01-16T00:00Z"}, 1440, 360).size(), 2u);
}

TEST(time_interpolation, refusals_name_the_times) {
  EXPECT_EQ(refusal({"2011-01-15T12:00Z", "2011-01-16T00:00Z"}, 60),
            "--interval 1h: 2011-01-15T12:00Z and 2011-01-16T00:00Z lie 12h apart, more than "
            "--max-gap 6h allows to interpolate across; give the times between them");
  EXPECT_EQ(refusal({"2011-01-15T12:00Z", "2011-01-16T00:00Z"}, 60, 720), "accepted");
  EXPECT_EQ(refusal({"2011-01-15T12:00Z", "2011-01-15T18:00Z"}, 240),
            "--interval 4h: 2011-01-15T18:00Z does not lie a whole number of 4h intervals after "
            "the first time 2011-01-15T12:00Z; choose an interval that divides the span");
  EXPECT_EQ(refusal({"2011-01-15T12:00Z", "2011-01-15T15:00Z", "2011-01-15T16:00Z"}, 180),
            "--interval 3h: 2011-01-15T16:00Z does not lie a whole number of 3h intervals after "
            "the first time 2011-01-15T12:00Z; choose an interval that divides the span");
  EXPECT_EQ(refusal({""}, 60),
            "--interval: the fields name no valid time; a series needs dated times");
}

TEST(time_interpolation, values_are_interpolated_in_double_and_holes_stay_holes) {
  const double miss_a = 9999, miss_b = -1;
  const std::vector<double> a = {270, 280, 9999, 300, -5, 1e30};
  const std::vector<double> b = {276, 277, 290, -1, 7, -1e30};
  std::vector<double> out;
  for (std::int64_t after = 0; after <= 360; after += 60) {
    const read_values r = interpolate({a, miss_a}, {b, miss_b}, after, 360, out);
    ASSERT_EQ(r.values.size(), a.size());
    const double w = double(after) / 360;
    EXPECT_NEAR(r.values[0], 270 + 6 * w, 1e-12);
    EXPECT_NEAR(r.values[1], 280 - 3 * w, 1e-12);
    EXPECT_EQ(r.values[2], r.missing);  // missing at the earlier time
    EXPECT_EQ(r.values[3], r.missing);  // missing at the later time
    EXPECT_NEAR(r.values[4], -5 + 12 * w, 1e-12);
    EXPECT_NE(r.values[5], r.missing);
  }
  // At both ends the values are those of the held times, exactly.
  EXPECT_EQ(interpolate({a, miss_a}, {b, miss_b}, 0, 360, out).values[1], 280);
  EXPECT_EQ(interpolate({a, miss_a}, {b, miss_b}, 360, 360, out).values[1], 277);
  // The missing mark is no value a field holds.
  const read_values r = interpolate({a, miss_a}, {b, miss_b}, 60, 360, out);
  for (const double v : {270.0, 9999.0, -1.0, 0.0}) EXPECT_NE(v, r.missing);
  // NaN stays NaN, for the plausibility check to refuse.
  const std::vector<double> nan = {std::nan("")};
  EXPECT_TRUE(std::isnan(interpolate({nan, miss_a}, {nan, miss_b}, 60, 360, out).values[0]));
}

source_field field(upper_field f, double hpa, const std::string& file) {
  source_field s;
  s.kind.upper = f;
  s.level_hpa = hpa;
  s.file = file;
  s.origin = "message 1";
  return s;
}

source_field surface(int k, const std::string& file) {
  source_field s;
  s.kind.surface = k;
  s.file = file;
  s.origin = "message 9";
  return s;
}

// Two times of 850 hPa only, with a mask and orography of one invariant source.
struct two_times {
  std::vector<source_field> a, b;
  source_field lsm = surface(k_lsm, "inv.grib2"), orog = surface(k_orog, "inv.grib2");
  selection sa, sb;
  two_times() {
    for (std::size_t f = 0; f < 5; ++f) {
      a.push_back(field(static_cast<upper_field>(f), 850, "a.grib2"));
      b.push_back(field(static_cast<upper_field>(f), 850, "b.grib2"));
    }
    a.push_back(surface(k_msl, "a.grib2"));
    b.push_back(surface(k_msl, "b.grib2"));
    for (auto [s, v] : {std::pair{&sa, &a}, std::pair{&sb, &b}}) {
      s->levels = {850};
      s->upper.resize(5);
      for (std::size_t f = 0; f < 5; ++f) s->upper[f] = {&(*v)[f]};
      s->surface.assign(12, nullptr);
      s->surface[k_msl - 1] = &(*v)[5];
      s->surface[k_lsm - 1] = &lsm;
      s->surface[k_orog - 1] = &orog;
    }
  }
  std::string refusal() const {
    try {
      check_interpolable(sa, sb, "2011-01-15T12:00Z", "2011-01-15T18:00Z");
    } catch (const run_error& e) {
      return e.what();
    }
    return "accepted";
  }
};

TEST(time_interpolation, fields_that_cannot_be_interpolated_are_refused_naming_them) {
  two_times t;
  EXPECT_EQ(t.refusal(), "accepted");

  t.sb.surface[k_msl - 1] = nullptr;
  EXPECT_EQ(t.refusal(),
            "--interval: psl (mean-sea-level pressure) is given at 2011-01-15T12:00Z but not at "
            "2011-01-15T18:00Z; a time "
            "between them cannot be interpolated");
  t.sb.surface[k_msl - 1] = &t.b[5];

  t.b[3].kind.from_specific_humidity = true;
  EXPECT_EQ(t.refusal(),
            "--interval: hur 850 hPa comes as relative humidity at 2011-01-15T12:00Z and as "
            "specific humidity at 2011-01-15T18:00Z; give one of them at both times");
  t.b[3].kind.from_specific_humidity = false;

  t.b[4].time_span = "avg";
  EXPECT_EQ(t.refusal(),
            "--interval: ta 850 hPa at 2011-01-15T18:00Z (b.grib2: message 1) is a value over a "
            "span of time (avg), not one at an instant; it cannot be interpolated between "
            "2011-01-15T12:00Z and 2011-01-15T18:00Z");
  t.b[4].time_span.clear();

  // A mask of one invariant source is taken as it is, whatever it is.
  t.lsm.time_span = "avg";
  EXPECT_EQ(t.refusal(), "accepted");
}

TEST(time_interpolation, the_inventory_lists_each_time_and_its_weights) {
  const std::vector<std::string> held = {"2011-01-15T12:00Z", "2011-01-15T18:00Z"};
  std::ostringstream out;
  print_series(series_at(held, 120, 360), held, 120, out);
  EXPECT_EQ(out.str(),
            "written at 2h: 4 times, 2 held, 2 interpolated\n"
            "  2011-01-15T12:00Z held\n"
            "  2011-01-15T14:00Z interpolated: 2/3 of 2011-01-15T12:00Z + 1/3 of "
            "2011-01-15T18:00Z\n"
            "  2011-01-15T16:00Z interpolated: 1/3 of 2011-01-15T12:00Z + 2/3 of "
            "2011-01-15T18:00Z\n"
            "  2011-01-15T18:00Z held\n");
}

TEST(time_interpolation, a_name_pattern_must_tell_the_times_apart) {
  EXPECT_NO_THROW(check_pattern_for_interval("gfs_%Y%m%d%H.bin", 60));
  EXPECT_NO_THROW(check_pattern_for_interval("gfs_%Y%m%d%H%M.bin", 30));
  EXPECT_NO_THROW(check_pattern_for_interval("gfs_%Y%m%d.bin", 1440));
  try {
    check_pattern_for_interval("gfs_%Y%m%d%H.bin", 30);
    ADD_FAILURE() << "accepted";
  } catch (const usage_error& e) {
    EXPECT_STREQ(e.what(),
                 "--interval 30m: -o \"gfs_%Y%m%d%H.bin\" cannot tell apart times within an hour; "
                 "put %M into it");
  }
  EXPECT_THROW(check_pattern_for_interval("gfs_%%M%H.bin", 30), usage_error);
  EXPECT_THROW(check_pattern_for_interval("gfs_%Y%m%d.bin", 180), usage_error);
}

}  // namespace
}  // namespace c2m::prepare

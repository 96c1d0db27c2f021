// Valid times as minutes and back, and durations as the command line gives them.
#include "companion/prepare/valid_time.hpp"

#include <gtest/gtest.h>

namespace c2m::prepare {
namespace {

TEST(valid_time, texts_become_minutes_since_1970_and_back) {
  EXPECT_EQ(minutes_of("1970-01-01T00:00Z"), 0);
  EXPECT_EQ(minutes_of("1970-01-02T01:30Z"), 24 * 60 + 90);
  // 2011-01-15 is day 14989 since 1970-01-01 (date -u -d 2011-01-15 +%s / 86400).
  EXPECT_EQ(minutes_of("2011-01-15T12:00Z"), 14989LL * 1440 + 720);
  EXPECT_EQ(minutes_of("1969-12-31T23:59Z"), -1);
  for (const char* t : {"2011-01-15T12:00Z", "2000-02-29T23:30Z", "1900-03-01T00:00Z",
                        "1979-01-01T00:00Z", "2100-12-31T23:59Z", "0001-01-01T00:00Z"})
    EXPECT_EQ(valid_text(*minutes_of(t)), t);
}

TEST(valid_time, steps_cross_days_months_and_leap_days) {
  EXPECT_EQ(valid_text(*minutes_of("2011-01-15T23:00Z") + 60), "2011-01-16T00:00Z");
  EXPECT_EQ(valid_text(*minutes_of("2012-02-28T23:30Z") + 30), "2012-02-29T00:00Z");
  EXPECT_EQ(valid_text(*minutes_of("2011-02-28T23:30Z") + 30), "2011-03-01T00:00Z");
  EXPECT_EQ(valid_text(*minutes_of("2011-12-31T21:00Z") + 180), "2012-01-01T00:00Z");
  EXPECT_EQ(valid_text(*minutes_of("1970-01-01T00:00Z") - 30), "1969-12-31T23:30Z");
}

TEST(valid_time, anything_but_a_valid_time_is_no_time) {
  for (const char* t : {"", "2011-01-15T12:00", "2011-01-15 12:00Z", "2011-02-30T00:00Z",
                        "2011-13-01T00:00Z", "2011-01-15T24:00Z", "2011-01-15T12:60Z",
                        "2011-01-15T1a:00Z", "123 hours since 2000-01-01"})
    EXPECT_FALSE(minutes_of(t)) << t;
}

TEST(valid_time, durations_in_days_hours_and_minutes) {
  EXPECT_EQ(duration_minutes("1h"), 60);
  EXPECT_EQ(duration_minutes("30m"), 30);
  EXPECT_EQ(duration_minutes("3h"), 180);
  EXPECT_EQ(duration_minutes("1h30m"), 90);
  EXPECT_EQ(duration_minutes("90m"), 90);
  EXPECT_EQ(duration_minutes("1d"), 1440);
  EXPECT_EQ(duration_minutes("1d6h"), 1800);
  EXPECT_EQ(duration_minutes("366d"), 366 * 1440);
  for (const char* d : {"", "h", "1", "0h", "0m", "-1h", "1.5h", "1s", "30m1h", "1h1h", "1 h", "1H",
                        "367d", "99999999999999999999h", "1h30"})
    EXPECT_FALSE(duration_minutes(d)) << d;
  EXPECT_EQ(duration_text(60), "1h");
  EXPECT_EQ(duration_text(30), "30m");
  EXPECT_EQ(duration_text(90), "1h30m");
  EXPECT_EQ(duration_text(1440), "1d");
  EXPECT_EQ(duration_text(1441), "1d1m");
}

}  // namespace
}  // namespace c2m::prepare

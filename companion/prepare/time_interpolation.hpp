// A series at a fixed interval from the times the files hold: a time they hold is
// written as it is; a time between two of them is the linear interpolation in time of
// every field, matched by field and level (never by the order of the messages), computed
// in double and rounded to float once, when placed.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "companion/prepare/selection.hpp"
#include "companion/prepare/source_field.hpp"

namespace c2m::prepare {

// One time of the series. A held time has after == 0 and earlier == later; a time
// between two held ones lies `after` of the `span` minutes from the held time `earlier`
// to the held time `later` (indices into the held times).
struct series_time {
  std::string valid;
  std::size_t earlier = 0, later = 0;
  std::int64_t after = 0, span = 0;
  bool held() const { return after == 0; }
};

// The times from the first held time to the last at `interval` minutes. Refused
// (run_error naming the times): a held time without a date, a held time that does not
// lie a whole number of intervals from the first, and two held times further apart than
// `max_gap` minutes with a time to interpolate between them. `held` is in time order.
std::vector<series_time> series_at(const std::vector<std::string>& held, std::int64_t interval,
                                   std::int64_t max_gap);

// A time between two held ones as the fields are read: the later time's field of the
// same slot, and the time's place between the two.
struct blend {
  const selection* later = nullptr;
  std::int64_t after = 0, span = 0;
};

// Refuses (run_error naming the field and both times) what cannot be interpolated
// between two held times: a field present at one time and absent at the other,
// relative humidity at one and specific humidity at the other, and a field accumulated
// or averaged over time. Fields of an invariant source are one and the same at both.
void check_interpolable(const selection& earlier, const selection& later,
                        const std::string& earlier_valid, const std::string& later_valid);

// a + (b - a) * after / span at every point, in double, into `out`; a point missing in
// either is missing in the result. Returns the values and the value marking a missing
// point.
read_values interpolate(const read_values& a, const read_values& b, std::int64_t after,
                        std::int64_t span, std::vector<double>& out);

// The inventory's lines for the series: each time, and for an interpolated time the
// held times it lies between with their weights.
void print_series(const std::vector<series_time>& series, const std::vector<std::string>& held,
                  std::int64_t interval, std::ostream& out);

// "-o PATTERN gives TIME and TIME the one name NAME": refuses a pattern that cannot
// tell the times of the series apart, before anything is read where it can.
void check_pattern_for_interval(const std::string& pattern, std::int64_t interval);

}  // namespace c2m::prepare

// Valid times as prepare writes them ("2011-01-15T12:00Z"), as minutes since
// 1970-01-01T00:00Z for arithmetic, and durations as the command line gives them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace c2m::prepare {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
long days_from_civil(long y, long m, long d);

// "2011-01-15T12:00Z" for a count of minutes since 1970-01-01T00:00Z.
std::string valid_text(std::int64_t minutes);

// The minutes since 1970-01-01T00:00Z of "2011-01-15T12:00Z", or nothing for any
// other text.
std::optional<std::int64_t> minutes_of(const std::string& valid);

// The minutes of a duration "1h", "30m", "3h", "1d", "1h30m" (days, hours, minutes in
// that order, each at most once), or nothing when it is none or not longer than 0.
std::optional<std::int64_t> duration_minutes(const std::string& text);

// "1h", "30m", "1h30m", "1d": a duration as the command line gives it.
std::string duration_text(std::int64_t minutes);

}  // namespace c2m::prepare

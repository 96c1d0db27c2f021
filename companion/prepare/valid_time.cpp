#include "companion/prepare/valid_time.hpp"

#include <cstdio>

namespace c2m::prepare {

namespace {

constexpr std::int64_t minutes_a_day = 24 * 60;

// Whether text[from, from + n) holds digits only; their value goes to v.
bool digits(const std::string& text, std::size_t from, std::size_t n, long& v) {
  v = 0;
  if (from + n > text.size()) return false;
  for (std::size_t k = from; k < from + n; ++k) {
    if (text[k] < '0' || text[k] > '9') return false;
    v = v * 10 + (text[k] - '0');
  }
  return true;
}

}  // namespace

long days_from_civil(long y, long m, long d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::string valid_text(std::int64_t minutes) {
  std::int64_t days = (minutes >= 0 ? minutes : minutes - (minutes_a_day - 1)) / minutes_a_day;
  const std::int64_t in_day = minutes - days * minutes_a_day;
  // The civil date of a count of days since 1970-01-01.
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t dd = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t mm = mp + (mp < 10 ? 3 : -9);
  const std::int64_t yy = yoe + era * 400 + (mm <= 2);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02lld:%02lldZ", static_cast<long long>(yy),
                static_cast<long long>(mm), static_cast<long long>(dd),
                static_cast<long long>(in_day / 60), static_cast<long long>(in_day % 60));
  return buf;
}

std::optional<std::int64_t> minutes_of(const std::string& valid) {
  long y = 0, mo = 0, d = 0, h = 0, mi = 0;
  if (valid.size() != 17 || valid[4] != '-' || valid[7] != '-' || valid[10] != 'T' ||
      valid[13] != ':' || valid[16] != 'Z' || !digits(valid, 0, 4, y) || !digits(valid, 5, 2, mo) ||
      !digits(valid, 8, 2, d) || !digits(valid, 11, 2, h) || !digits(valid, 14, 2, mi))
    return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59) return std::nullopt;
  const std::int64_t minutes =
      std::int64_t(days_from_civil(y, mo, d)) * minutes_a_day + h * 60 + mi;
  // A day the month does not have (2011-02-30) does not come back as itself.
  if (valid_text(minutes) != valid) return std::nullopt;
  return minutes;
}

std::optional<std::int64_t> duration_minutes(const std::string& text) {
  constexpr char units[] = {'d', 'h', 'm'};
  constexpr std::int64_t size[] = {minutes_a_day, 60, 1};
  constexpr std::int64_t longest = 366 * minutes_a_day;
  std::int64_t total = 0;
  std::size_t at = 0, next_unit = 0;
  while (at < text.size()) {
    std::int64_t n = 0;
    const std::size_t from = at;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
      n = n * 10 + (text[at] - '0');
      if (n > longest) return std::nullopt;
    }
    if (at == from || at == text.size()) return std::nullopt;
    std::size_t u = next_unit;
    while (u < 3 && units[u] != text[at]) ++u;
    if (u == 3) return std::nullopt;
    total += n * size[u];
    next_unit = u + 1;
    ++at;
  }
  if (total <= 0 || total > longest) return std::nullopt;
  return total;
}

std::string duration_text(std::int64_t minutes) {
  std::string t;
  if (minutes >= minutes_a_day) t += std::to_string(minutes / minutes_a_day) + "d";
  if (minutes / 60 % 24) t += std::to_string(minutes / 60 % 24) + "h";
  if (minutes % 60 || t.empty()) t += std::to_string(minutes % 60) + "m";
  return t;
}

}  // namespace c2m::prepare

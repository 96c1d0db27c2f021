#include "companion/inspect/analysis_time.hpp"

#include <cstdio>

#include "common/errors.hpp"

namespace c2m::inspect {

namespace {

int days_in_month(int year, int month) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace

analysis_time parse_analysis_time(const std::string& text) {
  analysis_time t{0, 0, 0, 0, 0, 0};
  const auto fail = [&]() {
    return run_error("analysis time '" + text +
                     "' is not a date and time of the form 2024-01-15T00:00");
  };
  // Fixed positions: YYYY-MM-DD, then T or a blank and HH, :MM, :SS.
  const std::size_t n = text.size();
  if (n != 10 && n != 13 && n != 16 && n != 19) throw fail();
  const auto digits = [&](std::size_t at, std::size_t count) {
    int v = 0;
    for (std::size_t k = at; k < at + count; ++k) {
      if (text[k] < '0' || text[k] > '9') throw fail();
      v = v * 10 + (text[k] - '0');
    }
    return v;
  };
  if (text[4] != '-' || text[7] != '-') throw fail();
  t[0] = digits(0, 4);
  t[1] = digits(5, 2);
  t[2] = digits(8, 2);
  if (n >= 13) {
    if (text[10] != 'T' && text[10] != ' ') throw fail();
    t[3] = digits(11, 2);
  }
  if (n >= 16) {
    if (text[13] != ':') throw fail();
    t[4] = digits(14, 2);
  }
  if (n == 19) {
    if (text[16] != ':') throw fail();
    t[5] = digits(17, 2);
  }
  if (t[1] < 1 || t[1] > 12 || t[2] < 1 || t[2] > days_in_month(t[0], t[1]) || t[3] > 23 ||
      t[4] > 59 || t[5] > 59)
    throw run_error("analysis time '" + text + "' is not a date and time that exists");
  return t;
}

std::string time_text(const analysis_time& t, const char* separator, bool seconds) {
  char b[48];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d%s%02d:%02d", t[0], t[1], t[2], separator, t[3], t[4]);
  std::string text = b;
  if (seconds) {
    std::snprintf(b, sizeof b, ":%02d", t[5]);
    text += b;
  }
  return text;
}

}  // namespace c2m::inspect

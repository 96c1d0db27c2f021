#include <charconv>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "common/line_layout.hpp"
#include "conditioning/conditioning.hpp"

namespace c2m {

namespace {

bool level_missing(const grid& g, std::int32_t l) {
  return g.at(1, 1, l) == missing_value;
}

[[noreturn]] void stop(std::string_view text, float p) {
  log_line({text, p});
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, p);
  throw data_stop(std::string(text) + std::string(buf, r.ptr));
}

}  // namespace

void level_check(const grid& ht, const grid& tp, grid& rh, const grid& uw, const grid& vw,
                 std::span<const float> q_first, std::span<const float> pr, std::int32_t lm) {
  log_line({"Check for any missing data"});
  for (std::int32_t l = 1; l <= lm; ++l) {
    const float p = pr[static_cast<std::size_t>(l - 1)];
    if (level_missing(ht, l)) stop("Height data missing at level: ", p);
    if (level_missing(tp, l)) stop("Temperature data missing at level: ", p);
    if (level_missing(rh, l)) {
      log_line({"RH data missing at level: ", p});
      log_line({"Calling RH patch."});
      rh_fix(rh.im, rh.jm, lm, rh, pr);
      continue;  // the patch hides the wind and humidity tests of this level
    }
    if (level_missing(uw, l)) stop("U-wind data missing at level: ", p);
    if (level_missing(vw, l)) stop("V-wind data missing at level: ", p);
    if (q_first[static_cast<std::size_t>(l - 1)] == missing_value)
      stop("Spec. Humid. data missing at level: ", p);
  }
}

}  // namespace c2m

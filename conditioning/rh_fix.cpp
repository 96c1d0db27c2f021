#include <algorithm>
#include <cmath>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "common/line_layout.hpp"
#include "conditioning/conditioning.hpp"

namespace c2m {

namespace {

bool level_missing(const grid& rh, std::int32_t l) {
  return rh.at(1, 1, l) == missing_value;
}

// Copies level from into level to, every point, with its message.
void copy_level(grid& rh, std::size_t points, std::span<const float> pr, std::int32_t from,
                std::int32_t to) {
  log_line({"Copying", round_pressure(pr[static_cast<std::size_t>(from - 1)]), " mb to",
            round_pressure(pr[static_cast<std::size_t>(to - 1)]), " mb."});
  std::copy_n(rh.level(from), points, rh.level(to));
}

[[noreturn]] void patch_failed(std::string_view text) {
  log_line({text});
  throw data_stop(std::string(text) + " (a level of relative humidity has no data)");
}

}  // namespace

std::int32_t round_pressure(float p) {
  if (std::isnan(p)) return 0;
  if (p >= 2147483648.0f) return 2147483647;
  if (p <= -2147483648.0f) return -2147483647 - 1;
  return static_cast<std::int32_t>(std::lround(p));
}

void rh_fix(std::int32_t im, std::int32_t jm, std::int32_t lm, grid& rh,
            std::span<const float> pr) {
  const std::size_t points = static_cast<std::size_t>(im) * static_cast<std::size_t>(jm);
  // Bottom: fill levels below the first one with data from it.
  if (level_missing(rh, 1)) {
    std::int32_t k = 2;
    while (k <= lm && level_missing(rh, k)) ++k;
    if (k > lm) patch_failed("RH patch did not work.");
    for (std::int32_t d = k - 1; d >= 1; --d) copy_level(rh, points, pr, d + 1, d);
  }
  // Top: search down from the level below the top; level 1 has data by now.
  if (level_missing(rh, lm)) {
    std::int32_t k = lm - 1;
    for (; k >= 1; --k) {
      log_line({"checking RH at lev= ", pr[static_cast<std::size_t>(k - 1)]});
      if (!level_missing(rh, k)) break;
    }
    for (std::int32_t d = k + 1; d <= lm; ++d) copy_level(rh, points, pr, d - 1, d);
  }
  // A gap between two levels with data is filled by neither stage.
  for (std::int32_t k = 1; k <= lm; ++k)
    if (level_missing(rh, k)) patch_failed("RH patch did not work..");
}

}  // namespace c2m

#include <algorithm>

#include "common/constants.hpp"
#include "common/field_slots.hpp"
#include "common/line_layout.hpp"
#include "conditioning/conditioning.hpp"

namespace c2m {

namespace {

constexpr int fill_passes = 15;

void cap_moisture(std::span<float> field) {
  for (float& v : field)
    if (v > 0.6f) v = 0.3f;
}

}  // namespace

// Fifteen passes of "sweep 1 (gap takes the following donor, ascending), then sweep 2
// (gap takes the preceding donor, ascending)" settle in one pass over the row:
// - a run of gaps after a donor is closed in the first pass: its last point takes the
//   following donor, the others the preceding one; at the end of the row all take the
//   preceding donor;
// - a run at the start of the row only loses its last point per pass, so its last 15
//   points take the first donor and the points before them stay 0.0.
// A gap is a value equal to 0.0 (either sign); every other value, NaN included, is a donor.
void soil_fill_row(std::span<float> row) {
  const std::size_t n = row.size();
  std::size_t first = 0;
  while (first < n && row[first] == 0.0f) ++first;
  if (first == n) return;  // no donor: the row stays as it is
  const std::size_t lead = std::min<std::size_t>(first, fill_passes);
  std::fill(row.begin() + static_cast<std::ptrdiff_t>(first - lead),
            row.begin() + static_cast<std::ptrdiff_t>(first), row[first]);

  for (std::size_t i = first + 1; i < n; ++i) {
    if (row[i] != 0.0f) continue;
    std::size_t end = i;  // one past the run of gaps
    while (end < n && row[end] == 0.0f) ++end;
    const float before = row[i - 1];
    if (end < n) {
      std::fill(row.begin() + static_cast<std::ptrdiff_t>(i),
                row.begin() + static_cast<std::ptrdiff_t>(end - 1), before);
      row[end - 1] = row[end];
    } else {
      std::fill(row.begin() + static_cast<std::ptrdiff_t>(i), row.end(), before);
    }
    i = end;
  }
}

void soil_fix(grid& slp) {
  log_line({"going to use nsfcfld= ", nsfcfld});
  for (std::int32_t layer = 1; layer <= slots::soil_layers; ++layer)
    cap_moisture({slp.level(slots::soil_moisture(layer)), slp.level_size()});

  const std::size_t points = slp.level_size();
  const std::size_t im = static_cast<std::size_t>(slp.im);
  for (std::int32_t k = slots::soil_temperature(1); k <= nsfcfld; ++k) {
    float* field = slp.level(k);
    if (field[0] == missing_value) {
      log_line({"SURFACE DATA MISSING... ", k});
      // The deep layers take layer 2, which has been through its own repair earlier in
      // this loop.
      if (k == slots::soil_temperature(3) || k == slots::soil_temperature(4)) {
        log_line({"filling soil temp data..."});
        std::copy_n(slp.level(slots::soil_temperature(2)), points, field);
      } else if (k == slots::soil_moisture(3) || k == slots::soil_moisture(4)) {
        log_line({"filling soil moisture data..."});
        std::copy_n(slp.level(slots::soil_moisture(2)), points, field);
      }
    }
    for (std::size_t start = 0; start < points; start += im) soil_fill_row({field + start, im});
  }
}

}  // namespace c2m

// Per-record statistics of a work file: extremes and mean over the valid points, counts
// of the missing value, NaN and 0.0, a histogram, and a plausibility check.
#pragma once

#include <array>
#include <cstddef>
#include <ostream>
#include <span>
#include <string>

#include "companion/common/work_file.hpp"

namespace c2m::inspect {

struct record_stats {
  std::size_t valid = 0;    // neither the missing value nor NaN nor infinite
  std::size_t missing = 0;  // -99999.0
  std::size_t nan = 0;
  std::size_t inf = 0;
  std::size_t zero = 0;  // 0.0 (valid points too)
  float min = 0.0f, max = 0.0f;
  double mean = 0.0;
  std::size_t implausible = 0;              // valid points that fail the field's range check
  std::array<std::size_t, 10> histogram{};  // valid points, ten equal bins from min to max
};

// With a land-sea mask, only the points it makes land (1) are checked against range.
record_stats compute_stats(std::span<const float> values,
                           const companion::plausible_range& range = {},
                           std::span<const float> land_sea_mask = {});

// What the range check looks for, for the table's last column: "outside 150..350 K".
std::string describe_range(const companion::field_desc& f);

// The table: one row per record, its last column the flags raised on it (missing
// values, implausible values, NaN, infinite values); with histogram, one line of bin
// counts below each; last, the count of flags. Returns that count.
std::size_t print_stats(const companion::work_file& w, bool histogram, std::ostream& out);

}  // namespace c2m::inspect

// Comparing two work files: their info files first (grid, levels, field list), then
// record by record, point by point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "companion/common/work_file.hpp"

namespace c2m::inspect {

struct record_difference {
  int number = 0;
  std::size_t points = 0;           // points of two values whose difference exceeds the tolerance
  double largest = 0.0;             // largest |a - b|; infinite where only one side is NaN
  std::int32_t i = 0, j = 0;        // where it is, from 1; the first such point
  double rms = 0.0;                 // root mean square of a - b over the points finite in both
  std::size_t against_missing = 0;  // a value in one file, the missing value in the other
  std::int32_t mi = 0, mj = 0;      // the first of those, from 1
};

struct comparison {
  std::vector<std::string> layout;  // differences of the info files
  std::vector<record_difference> records;
  bool identical = false;  // same layout and every point equal (NaN equal to NaN)
  bool match() const { return layout.empty() && records.empty(); }
};

// Difference of two points: 0 when equal (two NaNs are equal), infinite when only one
// is NaN or they are infinities of opposite sign.
double point_difference(float a, float b);

// Points differ when their difference exceeds tolerance; a value against the missing
// value always differs and is counted apart. Records are compared only when both files
// have the same grid and level count.
comparison compare_work_files(const work_file& a, const work_file& b, double tolerance);

// One line per difference and a closing verdict.
void print_comparison(const comparison& c, const work_file& a, const work_file& b, double tolerance,
                      std::ostream& out);

}  // namespace c2m::inspect

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

// How many points of a record are of one kind, and where the first of them is (from 1).
struct counted_points {
  std::size_t count = 0;
  std::int32_t i = 0, j = 0;
};

struct record_difference {
  int number = 0;
  std::size_t points = 0;     // points of two finite values differing by more than the tolerance
  double largest = 0.0;       // largest finite |a - b|
  std::int32_t i = 0, j = 0;  // where it is, from 1; the first such point
  double rms = 0.0;           // root mean square of a - b over the points finite in both
  counted_points against_missing;  // a value in one file, the missing value in the other
  counted_points nan;              // NaN in one file only
  counted_points infinite;         // infinite in one file only, or of opposite signs
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
// value, a NaN against a number and an infinity against anything else always differ
// and are counted apart, outside the RMS. Records are compared only when both files
// have the same grid and level count.
comparison compare_work_files(const companion::work_file& a, const companion::work_file& b,
                              double tolerance);

// One line per difference and a closing verdict.
void print_comparison(const comparison& c, const companion::work_file& a,
                      const companion::work_file& b, double tolerance, std::ostream& out);

}  // namespace c2m::inspect

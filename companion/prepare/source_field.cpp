#include "companion/prepare/source_field.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "companion/prepare/plausibility.hpp"

namespace c2m::prepare {

namespace {

// A value beyond the float range becomes an infinity of its sign rather than undefined
// behaviour; the plausibility check refuses it.
float to_float(double x) {
  if (std::fabs(x) <= std::numeric_limits<float>::max() || std::isnan(x))
    return static_cast<float>(x);
  return x < 0 ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
}

// The runs of consecutive source columns along a row of the window: one for a whole
// grid stored by rows, two for a window across the seam, one per point for a grid
// stored by columns.
struct column_run {
  std::size_t first_out, source, length;
};

std::vector<column_run> column_runs(const std::vector<std::size_t>& col) {
  std::vector<column_run> runs;
  for (std::size_t i = 0; i < col.size(); ++i)
    if (!runs.empty() && col[i] == runs.back().source + runs.back().length)
      ++runs.back().length;
    else
      runs.push_back({i, col[i], 1});
  return runs;
}

// One run of values in the field's unit. The loop has no branch a compiler cannot turn
// into a selection, so that it runs on whole vectors.
void convert(const double* from, std::size_t n, double missing, double divisor, float* out) {
  if (divisor == 1.0)
    for (std::size_t i = 0; i < n; ++i)
      out[i] = from[i] == missing ? input_fill : to_float(from[i]);
  else
    for (std::size_t i = 0; i < n; ++i)
      out[i] = from[i] == missing ? input_fill : to_float(from[i] / divisor);
}

// The land-sea mask: a plausible value becomes 0 or 1 at 0.5.
void convert_mask(const double* from, std::size_t n, double missing, std::size_t k, float* out) {
  for (std::size_t i = 0; i < n; ++i) {
    const double v = from[i];
    if (v == missing)
      out[i] = input_fill;
    else if (plausible(k, v))
      out[i] = v >= 0.5 ? 1.0f : 0.0f;
    else
      out[i] = to_float(v);  // NaN and implausible values stay for the check
  }
}

}  // namespace

void place(std::span<const double> values, double missing, const window& cut,
           const field_kind& kind, float* out, summarizer& rows) {
  const std::size_t k = field_index(kind);
  // Every reader checks its values against the grid; this keeps a fault there from
  // reading past them.
  if (!cut.row.empty() && !cut.col.empty() &&
      *std::max_element(cut.row.begin(), cut.row.end()) +
              *std::max_element(cut.col.begin(), cut.col.end()) >=
          values.size())
    throw run_error("the values read do not cover the window");
  const std::vector<column_run> runs = column_runs(cut.col);
  for (std::size_t j = 0; j < cut.row.size(); ++j, out += cut.col.size()) {
    for (const column_run& r : runs) {
      const double* from = values.data() + cut.row[j] + r.source;
      if (kind.mask)
        convert_mask(from, r.length, missing, k, out + r.first_out);
      else
        convert(from, r.length, missing, kind.divisor, out + r.first_out);
    }
    rows.add({out, cut.col.size()});
  }
}

}  // namespace c2m::prepare

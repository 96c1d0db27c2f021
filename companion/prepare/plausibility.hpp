// Values no analysis holds. A value outside the plausible range of its field (the ranges
// conv2model-inspect's stats flags, see input_range) stops conv2model-prepare unless the
// user allows it; a value that is not a number, or infinite, stops it always. Points
// without data (the fill value) are not values and pass.
#pragma once

#include <cstddef>
#include <span>

#include "companion/prepare/source_field.hpp"

namespace c2m::prepare {

// The index of a field in writing order (input_range's k).
std::size_t field_index(const field_kind& kind);

// Whether v, in the unit of the input field file, lies within the range of field k.
// Values within a thousandth of the range's width beyond its ends pass: packing a field
// into 16 bits or fewer rounds that far.
bool plausible(std::size_t k, double v);

// What one field holds as placed into the input field file (the window's points, west
// to east along each row, rows south to north): its points without data, and the first
// value that stops the run.
struct field_summary {
  std::size_t holes = 0;
  std::size_t first_hole = 0;  // of the points without data, when there are any
  bool refused = false;        // a value not finite, or implausible and not allowed
  std::size_t refused_at = 0;
  float refused_value = 0;
  std::size_t nearest_land = 0;  // soil with --grid: land points from the nearest land point
};

// Summarises field k a part at a time, in the order of its points, so that each part can
// be judged while it is still in cache.
class summarizer {
 public:
  summarizer(std::size_t k, bool allow_implausible);
  void add(std::span<const float> part);  // the points that follow those added before
  const field_summary& summary() const { return summary_; }

 private:
  float low_, high_;  // the values that pass
  std::size_t seen_ = 0;
  field_summary summary_;
};

// Summarises field k whole. With `land` (the land-sea mask, for a soil field), only points
// over land count as holes and points over sea are not judged: the converter fills
// soil over sea.
field_summary summarize(std::span<const float> values, std::size_t k, bool allow_implausible,
                        const float* land = nullptr);

// Throws run_error for the value a summary refused, naming the field's file and origin,
// the point (i and j from 1, latitude and longitude) and the value.
void check_plausible(const field_summary& summary, const source_field& field, const window& w);

}  // namespace c2m::prepare

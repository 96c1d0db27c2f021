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

// Checks one field as placed into the input field file: `values` holds the window's
// points, west to east along each row, rows south to north. Throws run_error naming the
// field's file and origin, the point (i and j from 1, latitude and longitude) and the
// value.
void check_plausible(std::span<const float> values, const source_field& field, const window& w,
                     bool allow_implausible);

}  // namespace c2m::prepare

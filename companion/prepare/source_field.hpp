// One field found in an input file, where it is, and how to put its values into the
// input field file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "companion/prepare/field_table.hpp"
#include "companion/prepare/latlon_grid.hpp"

namespace c2m::prepare {

class summarizer;

// Where a soil field lies below ground, in metres.
struct soil_depths {
  double top = 0, bottom = 0;
  bool node = false;  // at one depth, `top` (ICON's soil temperature)
  bool known = true;  // false: levels of a layering whose depths are not known
};

struct source_field {
  field_kind kind;
  bool used = true;      // false: a message the analysis does not need, for the inventory
  double level_hpa = 0;  // upper-air fields
  soil_depths soil;      // soil fields
  std::string file;
  std::int64_t message = 0;       // GRIB: message number in the file, from 0
  std::int64_t level_index = -1;  // NetCDF: index along the pressure or depth axis, or -1
  std::int64_t time_index = -1;   // NetCDF: index along the time axis, or -1
  std::string variable;           // NetCDF: variable name
  std::string origin;             // what the inventory shows: "message 12 (GRIB 2 0/2/2 ...)"
  latlon_grid grid;
  std::string valid_time;      // "2011-01-15T12:00Z", the time the field is valid at
  std::string reference_time;  // GRIB: the run it comes from
  std::optional<long> member;  // GRIB: the ensemble member, where one is named
  // How a value over a span of time was made ("accum", "avg": GRIB's stepType, NetCDF's
  // cell_methods for time); empty for a value at an instant.
  std::string time_span;
  // With --grid, GRIB: the grid's identity (fields with the same one share weights), and
  // whether u and v run along the grid's axes rather than east and north.
  std::string grid_id;
  bool winds_along_grid = false;
};

// A field found again where one was taken before (the same field, level or depths, and
// valid time): the values of the two must agree.
struct found_again {
  const source_field* kept;
  const source_field* again;
};

// A field's values as read, before placing: every point of its grid in the file's order,
// and the value that marks a point without data.
struct read_values {
  std::span<const double> values;
  double missing;
};

// Copies the points of a window from stored source values into one grid of the input
// field file, in the field's unit. `missing` becomes the input fill value; a plausible
// land-sea mask becomes 0/1 at 0.5. Anything else is kept as it is, NaN included, for
// check_plausible to judge. Each row placed goes to `rows`, while it is in cache.
void place(std::span<const double> values, double missing, const window& cut,
           const field_kind& kind, float* out, summarizer& rows);

}  // namespace c2m::prepare

// The fields found, grouped by the time they are valid at: a forecast series, a day of
// ERA5 hours, or one analysis. Fields that do not change with time (a land-sea mask or
// orography at a time of their own, such as ERA5's invariant file dated 1979-01-01, or
// without a time) join every valid time.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "companion/prepare/source_field.hpp"

namespace c2m::prepare {

struct time_group {
  std::string valid;  // "2011-01-15T12:00Z", or empty when no field names a time
  std::vector<const source_field*> fields;
  std::size_t invariant = 0;  // how many of the fields joined from another time
};

// The groups in time order. Fields of an ensemble are refused unless `member` chooses
// one; two runs (reference times) for one valid time are refused naming both. Surface
// fields at a time without upper-air fields are left out with a note.
std::vector<time_group> group_by_time(const std::vector<source_field>& found,
                                      std::optional<long> member, std::ostream& warn);

// The group valid at `asked` ("2011-01-15T12:00Z", "2011-01-15T12", "2011011512"...),
// or run_error listing the times there are.
const time_group& group_at(const std::vector<time_group>& groups, const std::string& asked);

// "2011-01-15T12:00Z, 2011-01-15T18:00Z and 2011-01-16T00:00Z"
std::string times_text(const std::vector<time_group>& groups);

}  // namespace c2m::prepare

// Decoded fields kept from one time of a series to the next that uses them: a held time
// with times interpolated after it is decoded once, not once more for every time that
// needs it. What is kept is each field's window exactly as decoded, in double, so that a
// time written from it has the same bytes as one decoded afresh.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <vector>

#include "companion/prepare/selection.hpp"
#include "companion/prepare/shared_memory.hpp"
#include "companion/prepare/source_field.hpp"

namespace c2m::prepare {

// Where one field's window values are kept (in the window's order, then the value that
// marks a point without data, then with --grid how many points took the nearest land
// point's value), in memory shared with the decoding processes.
inline constexpr std::size_t kept_tail = 2;
struct kept_values {
  double* at = nullptr;  // nothing: the field is not kept
  bool filled = false;   // holds the values already; else the load keeps them as it reads
};

// What a series may keep at most: beyond it (a large grid uncut), fields are decoded
// again for each time that needs them.
inline constexpr std::size_t kept_fields_budget = std::size_t(2) << 30;

class kept_fields {
 public:
  // Room for `blocks` fields of `points` values each; none when that would take more
  // than `budget` bytes (each field is then decoded for every time that needs it).
  kept_fields(std::size_t points, std::size_t blocks, std::size_t budget);

  // Before a time is written: the fields the next time needs, which are kept as read.
  void expect(const std::set<const source_field*>& next);

  // Where `f` is kept, filled or to be filled by its load; nothing when it is not kept.
  kept_values at(const source_field* f);

  // After the time is written: what its loads kept is filled; only what the next time
  // needs stays.
  void written();

 private:
  std::size_t points_;
  shared_memory memory_;
  std::vector<std::size_t> free_;  // blocks not in use
  std::map<const source_field*, std::size_t> block_of_;
  std::set<const source_field*> filled_;
  std::set<const source_field*> next_;
};

// The fields a time reads for `sel`: every source chosen, soil mapped or kept.
void add_fields_read(const selection& sel, std::set<const source_field*>& to);

}  // namespace c2m::prepare

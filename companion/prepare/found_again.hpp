// A field given twice for one valid time (the same field and level, or soil at the same
// depths, in two files or two messages): the first is kept, and the other may only repeat
// it. Two that differ leave no way to tell which is meant.
#pragma once

#include "companion/prepare/decode_workers.hpp"
#include "companion/prepare/latlon_grid.hpp"
#include "companion/prepare/selection.hpp"

namespace c2m::prepare {

// Reads each field found again and the one kept, as they would be written into window w,
// and throws run_error naming both when their values differ. A field given as another
// quantity (geopotential beside geopotential height, a soil water mass beside a volume
// fraction) is not a repeat of it: the first given is kept, as ever.
void check_found_again(const selection& sel, const window& w, const decode_limits& limits);

}  // namespace c2m::prepare

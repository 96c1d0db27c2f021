// GRIB editions 1 and 2 through ecCodes: the inventory of the fields an analysis file
// holds, and the values of the messages chosen from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "companion/prepare/decode_workers.hpp"
#include "companion/prepare/grib_reader.hpp"
#include "companion/prepare/source_field.hpp"

namespace c2m::prepare {

// Every message of the file, its keys read by ecCodes in worker processes: those the
// input field file needs, and the others marked unused (for the inventory). A needed
// field on a grid other than a regular latitude/longitude one is refused, unless
// `any_grid` (--grid): then each needed field's grid is located once in a worker, and
// one that cannot be is refused. Throws run_error when the file cannot be read, a
// message is damaged, or the file holds no GRIB message.
std::vector<source_field> grib_inventory(const std::string& path, const decode_limits& limits,
                                         bool any_grid = false);

// The file, scanned again, with the fields its inventory found still in it.
grib_file check_inventory_still_holds(const std::string& path,
                                      const std::vector<const source_field*>& fields);

// A decoding process's own storage, kept from message to message (fresh memory for each
// costs a page fault per 4 KiB).
struct grib_memory {
  std::vector<unsigned char> message;
  std::vector<double> values;
};

// Decodes a field of the file, found by its inventory, into memory.values. ecCodes
// reads bytes from outside here: call it in a worker process only.
read_values grib_values(const grib_file& file, const source_field& field, grib_memory& memory);

}  // namespace c2m::prepare

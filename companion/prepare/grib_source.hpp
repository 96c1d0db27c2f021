// GRIB editions 1 and 2 through ecCodes: the inventory of the fields an analysis file
// holds, and the values of the messages chosen from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "companion/prepare/decode_workers.hpp"
#include "companion/prepare/plausibility.hpp"
#include "companion/prepare/source_field.hpp"

namespace c2m::prepare {

// Every message of the file that the input field file needs, its keys read by ecCodes
// in worker processes. A needed field on a grid other than a regular latitude/longitude
// one is refused. Throws run_error when the file cannot be read, a message is damaged,
// or the file holds no GRIB message.
std::vector<source_field> grib_inventory(const std::string& path, const decode_limits& limits);

// One message to decode, where its window goes, and where what it holds is told.
struct grib_load {
  const source_field* field = nullptr;
  const window* cut = nullptr;
  float* out = nullptr;
  field_summary* summary = nullptr;
};

// Decodes the messages of `loads` (all from `path`) in worker processes, each value
// placed once into its window, and summarised there.
void grib_read(const std::string& path, const std::vector<grib_load>& loads,
               const decode_limits& limits, bool allow_implausible);

}  // namespace c2m::prepare

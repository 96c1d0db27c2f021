// The header of a classic netCDF file (CDF-1, CDF-2 and CDF-5), walked before the netCDF
// library reads it. The library sizes what it allocates by the header's counts (of
// dimensions, attributes, variables, name bytes and attribute values) before it reads
// what they count: a damaged header of a few kilobytes made it take 2 GB of memory and
// seconds before it gave up. Here every count must fit into the bytes left in the file,
// and every type must be one the library knows (it crashed on another).
#pragma once

#include <string>

namespace c2m::prepare {

// Throws run_error naming the file and what does not fit; a file that does not start
// as a classic netCDF file is left to the library.
void check_classic_header(const std::string& path);

}  // namespace c2m::prepare

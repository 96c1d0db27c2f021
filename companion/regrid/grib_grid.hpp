// A GRIB message's grid, from the keys ecCodes gives, as a source_grid; checked
// against ecCodes' own coordinates of the grid's points before it is used.
#pragma once

#include <eccodes.h>

#include <string>

#include "companion/regrid/source_grid.hpp"

namespace c2m::regrid {

// The grid of message `h`; `what` names the message in diagnostics. Throws run_error
// for a grid that cannot be located (spherical harmonics, ICON's triangles, a kind not
// read here), naming it and the CDO command that helps, and for a grid whose points do
// not fall where ecCodes places them.
source_grid grib_grid(codes_handle* h, const std::string& what);

// A key that identifies the grid: messages with the same one share weights.
std::string grib_grid_identity(codes_handle* h);

// Whether the message's vector components run along the grid's axes
// (uvRelativeToGrid, resolutionAndComponentFlags bit 5).
bool grib_winds_along_grid(codes_handle* h);

}  // namespace c2m::regrid

// --grid: every field carried onto one regular latitude/longitude grid by the regrid
// module. Each source grid is located and its weights made once, in the parent before
// the decoding processes start, and used for every field, level and time on it.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "companion/prepare/latlon_grid.hpp"
#include "companion/prepare/selection.hpp"
#include "companion/prepare/source_field.hpp"
#include "companion/regrid/weights.hpp"

namespace c2m::prepare {

class regridding {
 public:
  regridding(regrid::spacing s, const std::optional<area>& over);
  regridding(const regridding&) = delete;
  regridding& operator=(const regridding&) = delete;

  // The window of the target grid for the fields of one time, every source grid among
  // them located and its weights made. The target is made with the first call: over
  // --area, or else the largest inside the first upper-air field's grid, said on `warn`.
  // Throws run_error for a target point outside a source's coverage, u and v of one
  // level on different grids, or winds along the axes of a grid whose axes are east and
  // north (regridded elsewhere without being turned).
  window window_for(const selection& sel, std::ostream& warn);

  // "a Lambert conformal grid (lambert) of 93 x 65 points", for the inventory.
  const std::string& grid_name(const source_field& f) const;

  // In a decoding process: the values of field f as read, carried onto the target grid
  // in `out`, in the target's order (west to east, south to north). Points without data
  // never enter a weight. Soil comes with the land-sea mask `land` (read with `read`):
  // a target land point takes land points only, or else the nearest land point within
  // two of the source grid's steps, counted in `nearest`.
  using reader = std::function<read_values(const source_field&)>;
  read_values carry(const source_field& f, read_values v, const source_field* land,
                    const reader& read, std::vector<double>& out, std::size_t& nearest) const;

  // In the parent, once u and v of a level are in place: turned from the grid's axes to
  // east and north where the message says they run along the axes.
  void turn_winds(const source_field& u, float* uw, float* vw) const;

 private:
  struct source {
    std::unique_ptr<regrid::source_grid> grid;
    std::unique_ptr<regrid::weights> weights;
  };
  const source& of(const source_field& f) const;
  void add(const source_field& f);

  regrid::spacing spacing_;
  std::optional<area> over_;
  std::optional<regrid::target_grid> target_;
  std::map<std::string, source> sources_;  // by the grid's identity
};

}  // namespace c2m::prepare

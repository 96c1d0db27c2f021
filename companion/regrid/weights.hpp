// The weights that carry one source grid's fields onto a target grid, computed once
// and used for every field and level on that grid; the turn of winds from the source
// grid's axes to east and north; the land-sea mask and soil over land.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "companion/regrid/source_grid.hpp"
#include "companion/regrid/target_grid.hpp"

namespace c2m::regrid {

class weights {
 public:
  // Throws run_error naming the source's coverage when a target point lies outside it.
  weights(const source_grid& source, const target_grid& target);

  const target_grid& target() const { return target_; }
  const source_grid& source() const { return *source_; }

  // A field (source points without data are NaN): each target point from the corners
  // of its cell that hold data, their weights scaled to sum to 1; NaN where none does.
  void interpolate(const float* in, float* out) const;

  // A land-sea mask: the land fraction interpolated as above, then land (1) from 0.5 up,
  // else sea (0). A binary mask and a fractional one are read alike, and a target point
  // is land only where a land point of the source shares its cell.
  void interpolate_mask(const float* in, float* out) const;

  // u and v interpolated along the source grid's axes, turned to east and north at each
  // target point. Nothing is done on a grid whose axes are east and north.
  void turn_winds(float* u, float* v) const;

  // A soil field: a target land point (target_land >= 0.5) from the land points of its
  // cell only (source_land >= 0.5, or every point with data when source_land is null);
  // where none is land, from the nearest source land point with data within
  // `reach_km`, counted; beyond, NaN, counted as a hole with the first one's place.
  // Target sea points as interpolate().
  struct soil_report {
    std::size_t nearest = 0;  // land points filled from the nearest land point
    std::size_t holes = 0;    // land points with no land point within reach
    double hole_lat = 0, hole_lon = 0;
  };
  soil_report interpolate_soil(const float* in, const float* source_land, const float* target_land,
                               double reach_km, float* out) const;

  double angle(std::size_t p) const { return angle_.empty() ? 0.0 : angle_[p]; }

 private:
  const source_grid* source_;
  target_grid target_;
  std::vector<std::uint32_t> index_;  // 4 per target point
  std::vector<float> weight_;         // 4 per target point
  std::vector<double> angle_;         // per target point, where winds turn
};

}  // namespace c2m::regrid

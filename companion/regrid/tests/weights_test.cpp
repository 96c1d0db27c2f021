// Weights on a small regional grid: values with holes, the land-sea mask at a half,
// soil from land points only with the nearest land point within reach, and a target
// area outside the source refused naming the coverage.
#include "companion/regrid/weights.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/errors.hpp"

namespace c2m::regrid {
namespace {

const float nan = std::numeric_limits<float>::quiet_NaN();

// 11 x 11 points, 1 degree apart, 0..10 N, 0..10 E, stored south to north.
source_grid small_grid() {
  std::vector<grid_row> rows;
  for (int j = 0; j < 11; ++j) rows.push_back({double(j), 0.0, 1.0, 11, std::size_t(j) * 11});
  source_grid g = source_grid::rows("small", std::move(rows), false);
  std::vector<float> lat, lon;
  for (int j = 0; j < 11; ++j)
    for (int i = 0; i < 11; ++i) {
      lat.push_back(float(j));
      lon.push_back(float(i));
    }
  g.set_coordinates(lat, lon);
  return g;
}

// Value 10 j + i at point (i, j).
std::vector<float> ramp() {
  std::vector<float> v(121);
  for (std::size_t p = 0; p < v.size(); ++p) v[p] = float(10 * (p / 11) + p % 11);
  return v;
}

TEST(weights, a_linear_field_comes_back_exactly_and_holes_never_enter_a_value) {
  const source_grid g = small_grid();
  const weights w(g, target_over({0.5, 0.5}, {10, 0, 0, 10}));
  std::vector<float> in = ramp(), out(w.target().points());
  w.interpolate(in.data(), out.data());
  for (std::int64_t j = 0; j < w.target().nlat; ++j)
    for (std::int64_t i = 0; i < w.target().nlon; ++i)
      ASSERT_FLOAT_EQ(out[std::size_t(j * w.target().nlon + i)], float(10 * 0.5 * j + 0.5 * i));
  // Point (2, 3) has no data: the target point between (2..3, 3..4) takes the other three.
  in[3 * 11 + 2] = nan;
  w.interpolate(in.data(), out.data());
  const std::size_t p = std::size_t(7 * w.target().nlon + 5);  // 3.5 N 2.5 E
  EXPECT_FLOAT_EQ(out[p], (33.0f + 42.0f + 43.0f) / 3);
  // A target point on (2, 3) itself has no data either.
  EXPECT_TRUE(std::isnan(out[std::size_t(6 * w.target().nlon + 4)]));
}

TEST(weights, land_is_where_the_interpolated_fraction_reaches_a_half) {
  const source_grid g = small_grid();
  const weights w(g, target_over({0.5, 0.5}, {10, 0, 0, 10}));
  std::vector<float> lsm(121, 0.0f), out(w.target().points());
  lsm[0] = 1;  // (0, 0)
  lsm[5] = 1;  // (5, 0) and (6, 0): the point between them is half land
  lsm[6] = 1;
  w.interpolate_mask(lsm.data(), out.data());
  EXPECT_EQ(out[0], 1.0f);
  EXPECT_EQ(out[1], 1.0f);                                  // 0.5 E: half (0, 0)
  EXPECT_EQ(out[std::size_t(w.target().nlon) + 1], 0.0f);   // 0.5 N 0.5 E: a quarter
  EXPECT_EQ(out[11], 1.0f);                                 // 5.5 E
  EXPECT_EQ(out[std::size_t(w.target().nlon) + 11], 1.0f);  // 0.5 N 5.5 E: exactly a half
  EXPECT_EQ(out[std::size_t(2 * w.target().nlon) + 11], 0.0f);
}

TEST(weights, soil_over_land_comes_from_land_points_or_the_nearest_one_within_reach) {
  const source_grid g = small_grid();
  const weights w(g, target_over({0.5, 0.5}, {10, 0, 0, 10}));
  const std::size_t n = w.target().points(), nlon = std::size_t(w.target().nlon);
  std::vector<float> soil = ramp(), land(121, 0.0f), target_land(n, 0.0f), out(n);
  land[5 * 11 + 5] = 1;             // one land point at (5, 5)
  target_land[10 * nlon + 11] = 1;  // 5 N 5.5 E: in a cell with the land point
  target_land[10 * nlon + 13] = 1;  // 5 N 6.5 E: no land in its cell, 1.5 degrees from it
  target_land[0] = 1;               // 0 N 0 E: 7 degrees from it
  const double one_degree_km = 6371.229 * 3.14159265358979323846 / 180;
  const weights::soil_report r = w.interpolate_soil(soil.data(), land.data(), target_land.data(),
                                                    2 * one_degree_km, out.data());
  EXPECT_EQ(out[10 * nlon + 11], 55.0f);
  EXPECT_EQ(out[10 * nlon + 13], 55.0f);
  EXPECT_EQ(r.nearest, 1u);
  EXPECT_EQ(r.holes, 1u);
  EXPECT_TRUE(std::isnan(out[0]));
  EXPECT_EQ(r.hole_lat, 0);
  EXPECT_EQ(r.hole_lon, 0);
  // Sea points as any field.
  EXPECT_FLOAT_EQ(out[1], 0.5f);
}

TEST(weights, an_area_outside_the_source_is_refused_naming_its_coverage) {
  const source_grid g = small_grid();
  try {
    const weights w(g, target_over({0.5, 0.5}, {12, 0, 0, 10}));
    FAIL();
  } catch (const run_error& e) {
    EXPECT_EQ(std::string(e.what()),
              "the area 12/0/0/10 leaves small: the point 10.5 N 0 E lies outside its "
              "coverage; the largest area inside it at this spacing is 10/0/0/10");
  }
}

TEST(weights, winds_along_a_rotated_grids_axes_turn_by_the_angle_there) {
  std::vector<grid_row> rows;
  for (int j = 0; j < 21; ++j) rows.push_back({-10.0 + j, -10.0, 1.0, 21, std::size_t(j) * 21});
  const source_grid g = source_grid::rows("rotated", std::move(rows), true, {-40, 10});
  const weights w(g, target_over({1, 1}, {52, 12, 48, 16}));
  std::vector<float> u(w.target().points(), 3.0f), v(w.target().points(), 4.0f);
  w.turn_winds(u.data(), v.data());
  for (std::size_t p = 0; p < u.size(); ++p) {
    EXPECT_FLOAT_EQ(std::hypot(u[p], v[p]), 5.0f);
    EXPECT_NE(w.angle(p), 0.0);
    EXPECT_NEAR(u[p], 3 * std::cos(w.angle(p)) + 4 * std::sin(w.angle(p)), 1e-5);
  }
}

}  // namespace
}  // namespace c2m::regrid

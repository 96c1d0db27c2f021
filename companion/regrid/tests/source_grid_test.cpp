// Where points fall in rows of points and in projected planes, and the angle between a
// grid's axes and north, against closed forms at named points.
#include "companion/regrid/source_grid.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "common/errors.hpp"

namespace c2m::regrid {
namespace {

constexpr double pi = 3.14159265358979323846;

// A 1-degree global grid north to south, 0..359 E: rows of 360 points round the earth.
source_grid one_degree() {
  std::vector<grid_row> rows;
  for (int j = 0; j < 181; ++j)
    rows.push_back({90.0 - j, 0.0, 1.0, 360, std::size_t(j) * 360, true});
  return source_grid::rows("one degree", std::move(rows), false);
}

double weight_of(const cell& c, std::size_t index) {
  double w = 0;
  for (const corner& q : c.c)
    if (q.index == index) w += q.weight;
  return w;
}

TEST(source_rows, a_point_of_the_grid_takes_its_own_value_only) {
  const source_grid g = one_degree();
  const cell c = g.locate(40, 15);  // row 50, column 15
  ASSERT_TRUE(c.inside);
  EXPECT_DOUBLE_EQ(weight_of(c, 50 * 360 + 15), 1.0);
  EXPECT_TRUE(g.global());
  EXPECT_FALSE(g.turns_winds());
  EXPECT_EQ(g.north_angle(40, 15), 0.0);
}

TEST(source_rows, a_point_between_four_takes_a_quarter_of_each_and_the_seam_wraps) {
  const source_grid g = one_degree();
  const cell c = g.locate(40.5, 359.5);
  ASSERT_TRUE(c.inside);
  for (const std::size_t p : {49 * 360 + 359, 49 * 360 + 0, 50 * 360 + 359, 50 * 360 + 0})
    EXPECT_DOUBLE_EQ(weight_of(c, std::size_t(p)), 0.25) << p;
  const cell west = g.locate(10.25, -0.75);  // 359.25 E
  EXPECT_NEAR(weight_of(west, 80 * 360 + 359), 0.75 * 0.75, 1e-12);
}

TEST(source_rows, a_regional_grid_refuses_points_beyond_its_edges_but_keeps_its_edges) {
  std::vector<grid_row> rows;
  for (int j = 0; j < 11; ++j) rows.push_back({30.0 + j, -110.0, 1.0, 31, std::size_t(j) * 31});
  const source_grid g = source_grid::rows("window", std::move(rows), false);
  EXPECT_FALSE(g.global());
  EXPECT_TRUE(g.locate(30, -110).inside);
  EXPECT_TRUE(g.locate(40, -80).inside);
  EXPECT_TRUE(g.locate(40, 280).inside);
  EXPECT_FALSE(g.locate(40.01, -90).inside);
  EXPECT_FALSE(g.locate(35, -79.9).inside);
  EXPECT_FALSE(g.locate(35, -110.1).inside);
}

// A Gaussian grid's outermost rows stand for the caps beyond them.
TEST(source_rows, the_caps_beyond_a_gaussian_grids_outermost_rows_take_those_rows) {
  std::vector<grid_row> rows;
  for (int j = 0; j < 4; ++j)
    rows.push_back({67.5 - 45.0 * j, 0.0, 90.0, 4, std::size_t(j) * 4, true});
  const source_grid g = source_grid::rows("gaussian", std::move(rows), false);
  EXPECT_TRUE(g.global());
  const cell c = g.locate(89, 45);
  ASSERT_TRUE(c.inside);
  EXPECT_DOUBLE_EQ(weight_of(c, 0) + weight_of(c, 1), 1.0);
}

// Rotated pole: the rotated grid's equator and meridian 0 pass through the point
// opposite the southern pole (here 40 S 10 E: the point 50 N 10 E), where the rotated
// axes are east and north; on the rotated meridian 0 the axes stay east and north,
// elsewhere they turn.
TEST(source_rows, a_rotated_grid_places_its_origin_opposite_the_southern_pole) {
  std::vector<grid_row> rows;
  for (int j = 0; j < 21; ++j) rows.push_back({-10.0 + j, -10.0, 1.0, 21, std::size_t(j) * 21});
  const source_grid g = source_grid::rows("rotated", std::move(rows), true, {-40, 10});
  const cell c = g.locate(50, 10);
  ASSERT_TRUE(c.inside);
  EXPECT_NEAR(weight_of(c, 10 * 21 + 10), 1.0, 1e-9);
  EXPECT_TRUE(g.turns_winds());
  EXPECT_NEAR(g.north_angle(50, 10), 0.0, 1e-6);
  EXPECT_NEAR(g.north_angle(55, 10), 0.0, 1e-6);
  // East of the rotated meridian 0 the rotated north leans east of true north: true
  // north leans towards -x.
  EXPECT_GT(g.north_angle(50, 20), 0.0);
  EXPECT_LT(g.north_angle(50, 0), 0.0);
}

// Lambert conformal with both standard parallels at 25 N, LoV 265 (Eta's): the grid's
// axes turn by sin(25) (lon - LoV); the first point is at its own place.
TEST(source_plane, a_lambert_grid_turns_by_the_cone_factor_times_the_longitude_from_lov) {
  const source_grid g =
      source_grid::plane("eta", "+proj=lcc +lat_1=25 +lat_2=25 +lat_0=25 +lon_0=265 +R=6371229", 93,
                         65, 12.19, 226.541, 81271, 81271);
  const cell c = g.locate(12.19, 226.541);
  ASSERT_TRUE(c.inside);
  EXPECT_NEAR(weight_of(c, 0), 1.0, 1e-9);
  EXPECT_FALSE(g.locate(12.0, 226.541).inside);
  for (const auto& [lat, lon] : {std::pair{30.0, -110.0}, std::pair{45.0, -80.0},
                                 std::pair{37.5, 265.0}, std::pair{50.0, 230.0}})
    EXPECT_NEAR(g.north_angle(lat, lon),
                std::sin(25 * pi / 180) * std::remainder(lon - 265, 360) * pi / 180, 1e-6)
        << lat << " " << lon;
}

// Polar stereographic: the cone factor is 1 on the north pole's plane, -1 on the south
// pole's (north leans the other way).
TEST(source_plane, a_polar_stereographic_grid_turns_by_the_longitude_from_its_orientation) {
  const source_grid north =
      source_grid::plane("ngm", "+proj=stere +lat_0=90 +lat_ts=60 +lon_0=255 +R=6371229", 53, 45,
                         7.647, 226.557, 190500, 190500);
  const source_grid south =
      source_grid::plane("safrica", "+proj=stere +lat_0=-90 +lat_ts=-60 +lon_0=28 +R=6371190", 210,
                         140, -33.1845, 337.289, 47625, 47625);
  for (const double lon : {200.0, 255.0, 300.0})
    EXPECT_NEAR(north.north_angle(40, lon), (lon - 255) * pi / 180, 1e-6) << lon;
  for (const double lon : {0.0, 28.0, 40.0})
    EXPECT_NEAR(south.north_angle(-20, lon), -(lon - 28) * pi / 180, 1e-6) << lon;
}

TEST(source_plane, a_projection_proj_refuses_is_refused_by_name) {
  try {
    (void)source_grid::plane("bad", "+proj=nonesuch", 2, 2, 0, 0, 1, 1);
    FAIL();
  } catch (const run_error& e) {
    EXPECT_NE(std::string(e.what()).find("PROJ refuses the projection +proj=nonesuch"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace c2m::regrid

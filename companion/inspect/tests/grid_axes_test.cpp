#include "companion/inspect/grid_axes.hpp"

#include <gtest/gtest.h>

#include "common/errors.hpp"

namespace c2m::inspect {
namespace {

// A grid as conv2model describes it: increments given, rows south to north.
companion::grid_info grid(std::int32_t im, std::int32_t jm, std::int32_t lat1, std::int32_t lon1,
                          std::int32_t lat2, std::int32_t lon2, std::int32_t dlon,
                          std::int32_t dlat) {
  companion::grid_info g;
  g.im = im;
  g.jm = jm;
  g.kgds = {0, 0, im, jm, lat1, lon1, 128, lat2, lon2, dlon, dlat, 64};
  g.kgds[20] = 255;
  return g;
}

TEST(inspect_grid_axes, axes_run_from_the_first_point_to_the_last_not_by_the_rounded_increment) {
  // 0.28125 degrees is stated as 281 millidegrees: 1279 steps of it end 0.32 degrees short.
  const grid_axes a = make_axes(grid(1280, 640, -89785, 0, 89785, 359719, 281, 281), "g");
  EXPECT_EQ(a.lon.front(), 0.0);
  EXPECT_EQ(a.lon.back(), 359.719);
  EXPECT_NEAR(a.lon[1], 0.28125, 1e-6);
  EXPECT_EQ(a.lat.front(), -89.785);
  EXPECT_EQ(a.lat.back(), 89.785);
  EXPECT_TRUE(a.notes.empty());  // 281.25 against 281: within the rounding

  // A 200 x 150 global grid: the last latitude is the pole itself.
  const grid_axes b = make_axes(grid(200, 150, -90000, 0, 90000, 358200, 1800, 1208), "g");
  EXPECT_EQ(b.lat.back(), 90.0);
  EXPECT_EQ(b.lat.front(), -90.0);
  EXPECT_EQ(b.lon.back(), 358.2);
  EXPECT_TRUE(b.notes.empty());
}

TEST(inspect_grid_axes, longitudes_cross_0_360_where_the_last_point_lies_behind_the_first) {
  const grid_axes a = make_axes(grid(9, 2, 0, 350000, 1000, 10000, 2500, 1000), "g");
  EXPECT_EQ(a.lon.front(), 350.0);
  EXPECT_EQ(a.lon[4], 360.0);
  EXPECT_EQ(a.lon.back(), 370.0);
  EXPECT_TRUE(a.columns_run_east());
  EXPECT_TRUE(a.notes.empty());

  companion::grid_info west = grid(3, 2, 0, 10000, 1000, 350000, 10000, 1000);
  west.kgds[11] = 64 + 128;  // columns east to west: 10, 0, -10
  const grid_axes w = make_axes(west, "g");
  EXPECT_EQ(w.lon, (std::vector<double>{10.0, 0.0, -10.0}));
  EXPECT_FALSE(w.columns_run_east());
}

TEST(inspect_grid_axes, disagreements_are_noted_once_and_nothing_is_refused) {
  // The stated latitude increment is a whole degree; the points are half a degree apart.
  const grid_axes a = make_axes(grid(3, 5, 40000, 0, 42000, 2000, 1000, 1000), "w.gdsinfo");
  ASSERT_EQ(a.notes.size(), 1u);
  EXPECT_EQ(a.notes[0],
            "w.gdsinfo: the latitude increment kgds(10) = 1000 millidegrees disagrees with the "
            "first and last points, 5 points 0.5 degrees apart; the points are used");
  EXPECT_EQ(a.lat.back(), 42.0);

  // A first latitude north of the last, with a scanning mode that says south to north:
  // the rows are placed as the points say, north to south.
  const grid_axes b = make_axes(grid(3, 3, 50000, 0, 48000, 2000, 1000, 1000), "w.gdsinfo");
  ASSERT_EQ(b.notes.size(), 1u);
  EXPECT_NE(b.notes[0].find("kgds(11) = 64 has rows running south to north, but the first "
                            "latitude 50 is north of the last 48"),
            std::string::npos)
      << b.notes[0];
  EXPECT_EQ(b.lat, (std::vector<double>{50.0, 49.0, 48.0}));
  EXPECT_FALSE(b.rows_run_north());

  // Half a millidegree per step is rounding, not a disagreement.
  EXPECT_TRUE(make_axes(grid(3, 3, 0, 0, 1001, 1001, 500, 500), "g").notes.empty());
  EXPECT_EQ(make_axes(grid(3, 3, 0, 0, 1002, 1002, 500, 500), "g").notes.size(), 2u);
  companion::grid_info not_given = grid(3, 3, 0, 0, 2000, 2000, 7, 7);
  not_given.kgds[6] = 0;  // increments not given: nothing to compare
  EXPECT_TRUE(make_axes(not_given, "g").notes.empty());
}

TEST(inspect_grid_axes, refuses_grids_that_are_not_latitude_longitude_rows) {
  companion::grid_info g = grid(3, 3, 0, 0, 2000, 2000, 1000, 1000);
  g.kgds[1] = 3;
  EXPECT_THROW(make_axes(g, "g"), run_error);
  g.kgds[1] = 0;
  g.kgds[11] = 64 + 32;
  EXPECT_THROW(make_axes(g, "g"), run_error);
  const grid_axes one = make_axes(grid(1, 1, 45000, 7000, 45000, 7000, 0, 0), "g");
  EXPECT_EQ(one.lat, (std::vector<double>{45.0}));
  EXPECT_EQ(one.lon, (std::vector<double>{7.0}));
}

}  // namespace
}  // namespace c2m::inspect

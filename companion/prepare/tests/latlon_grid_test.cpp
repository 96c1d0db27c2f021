#include "companion/prepare/latlon_grid.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "common/errors.hpp"
#include "common/grid_config_file.hpp"

namespace c2m::prepare {
namespace {

// GFS 2.5-degree: 144 x 73, north to south, longitudes 0 to 357.5.
latlon_grid gfs() {
  latlon_grid g;
  g.ni = 144;
  g.nj = 73;
  g.lat_first = 90;
  g.lon_first = 0;
  g.di = 2.5;
  g.dj = 2.5;
  return g;
}

// The description integers as the grid configuration gives them, in its order.
std::vector<std::int32_t> kgds(const window& w) {
  std::vector<std::int32_t> v;
  for (const auto& k : c2m::grid_config_file::kgds_lines) v.push_back(w.kgds[k.n]);
  return v;
}

TEST(latlon_grid, whole_grid_is_written_south_to_north) {
  const window w = make_window(gfs(), std::nullopt, "t");
  EXPECT_EQ(w.im, 144);
  EXPECT_EQ(w.jm, 73);
  EXPECT_EQ(kgds(w), (std::vector<std::int32_t>{0, -90000, 0, 90000, 357500, 2500, 2500}));
  EXPECT_EQ(w.offset(0, 0), 72u * 144u);           // south-west corner: last stored row
  EXPECT_EQ(w.offset(143, 0), 72u * 144u + 143u);  // its row runs eastwards
  EXPECT_EQ(w.offset(143, 72), 143u);              // north-east corner: first stored row
}

TEST(latlon_grid, area_across_the_zero_meridian_wraps_round) {
  const window w = make_window(gfs(), area{60, -30, 20, 40}, "t");
  EXPECT_EQ(w.im, 29);
  EXPECT_EQ(w.jm, 17);
  EXPECT_EQ(kgds(w), (std::vector<std::int32_t>{0, 20000, -30000, 60000, 40000, 2500, 2500}));
  const std::size_t row20 = 28;                   // stored row of 20 N: (90 - 20) / 2.5
  EXPECT_EQ(w.offset(0, 0), row20 * 144 + 132);   // 330 E = 30 W
  EXPECT_EQ(w.offset(11, 0), row20 * 144 + 143);  // 357.5 E
  EXPECT_EQ(w.offset(12, 0), row20 * 144 + 0);    // 0 E
  EXPECT_EQ(w.offset(28, 0), row20 * 144 + 16);   // 40 E
}

TEST(latlon_grid, area_across_the_date_line_and_edges_between_points) {
  const window w = make_window(gfs(), area{11, 169, -11, -169}, "t");
  EXPECT_EQ(w.im, 9);  // 170 to 190 E
  EXPECT_EQ(w.jm, 9);  // -10 to 10 N
  EXPECT_EQ(kgds(w), (std::vector<std::int32_t>{0, -10000, 170000, 10000, 190000, 2500, 2500}));
}

TEST(latlon_grid, east_to_west_and_column_major_scanning) {
  // 4 x 3 points, stored east to west, south to north, columns consecutive.
  latlon_grid g;
  g.ni = 4;
  g.nj = 3;
  g.lat_first = 10;
  g.lon_first = 30;
  g.di = 10;
  g.dj = 5;
  g.i_negative = true;
  g.j_positive = true;
  g.j_consecutive = true;
  const window w = make_window(g, std::nullopt, "t");
  EXPECT_EQ(kgds(w), (std::vector<std::int32_t>{0, 10000, 0, 20000, 30000, 10000, 5000}));
  // Point (i, j) written west to east, south to north, comes from stored column
  // 3 - i (east to west), row j, at (3 - i) * 3 + j.
  for (std::size_t j = 0; j < 3; ++j)
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(w.offset(i, j), (3 - i) * 3 + j);
}

// What the refusal says: the area and the grid's extent.
std::string refusal(const latlon_grid& g, const area& a) {
  try {
    make_window(g, a, "t");
  } catch (const run_error& e) {
    return e.what();
  }
  return "accepted";
}

TEST(latlon_grid, areas_leaving_a_regional_grid_or_of_one_row_or_column_are_refused) {
  latlon_grid g;  // 0..20 E, 40..50 N
  g.ni = 21;
  g.nj = 11;
  g.lat_first = 50;
  g.lon_first = 0;
  g.di = 1;
  g.dj = 1;
  const window w = make_window(g, area{50, 0, 45, 5}, "t");
  EXPECT_EQ(kgds(w), (std::vector<std::int32_t>{0, 45000, 0, 50000, 5000, 1000, 1000}));
  const std::string extent = "of the grid 21 x 11, 0 to 20 E, 40 to 50 N, step 1 x 1";
  EXPECT_EQ(refusal(g, area{60, -10, 45, 5}),
            "t: the area 60/-10/45/5 reaches beyond the latitudes " + extent);
  EXPECT_EQ(refusal(g, area{50, -10, 45, 5}),
            "t: the area 50/-10/45/5 reaches beyond the longitudes " + extent);
  EXPECT_EQ(refusal(g, area{50, 15, 45, 25}),
            "t: the area 50/15/45/25 reaches beyond the longitudes " + extent);
  EXPECT_EQ(refusal(g, area{50, 5, 45, 5}),
            "t: the area 50/5/45/5 holds fewer than two columns " + extent);
  EXPECT_EQ(refusal(g, area{45.5, 5, 44.5, 10}),
            "t: the area 45.5/5/44.5/10 holds fewer than two rows " + extent);
  EXPECT_EQ(refusal(gfs(), area{60, 10, 30, 11}),
            "t: the area 60/10/30/11 holds fewer than two columns of the grid 144 x 73, 0 to "
            "357.5 E, -90 to 90 N, step 2.5 x 2.5");
}

// 145 columns, 0 to 360 inclusive, as many producers and CDO write a global grid.
TEST(latlon_grid, a_repeated_seam_column_is_written_once) {
  latlon_grid g = gfs();
  g.ni = 145;
  EXPECT_EQ(make_window(g, std::nullopt, "t").im, 144);
  const window w = make_window(g, area{60, -20, 30, 30}, "t");
  EXPECT_EQ(w.im, 21);  // -20 to 30 E
  EXPECT_EQ(kgds(w), (std::vector<std::int32_t>{0, 30000, -20000, 60000, 30000, 2500, 2500}));
  const std::size_t row30 = 24;                  // (90 - 30) / 2.5
  EXPECT_EQ(w.offset(0, 0), row30 * 145 + 136);  // 340 E
  EXPECT_EQ(w.offset(7, 0), row30 * 145 + 143);  // 357.5 E
  EXPECT_EQ(w.offset(8, 0), row30 * 145 + 0);    // 0 E, not the repeated 360
  EXPECT_EQ(w.offset(20, 0), row30 * 145 + 12);  // 30 E
  const window e = make_window(g, area{60, 350, 30, 30}, "t");
  EXPECT_EQ(e.im, 17);  // 350 to 390 E
  EXPECT_EQ(kgds(e)[2], -10000);
  EXPECT_EQ(kgds(e)[4], 30000);
  EXPECT_EQ(make_window(g, area{60, 0, 30, 360}, "t").im, 144);
}

TEST(latlon_grid, steps_that_are_no_whole_millidegree_are_refused) {
  EXPECT_EQ(millidegrees(0.25, "t"), 250);
  EXPECT_EQ(millidegrees(-179.999999999, "t"), -180000);
  EXPECT_EQ(millidegrees(double(359.9f), "t"), 359900);  // a float coordinate
  EXPECT_THROW(millidegrees(1.0 / 3.0, "t"), run_error);
  EXPECT_THROW(millidegrees(1.0 / 12.0, "t"), run_error);
}

}  // namespace
}  // namespace c2m::prepare

// The target grid of --grid and --area: the spacing typed, the points counted, and the
// largest area inside a regional source.
#include "companion/regrid/target_grid.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "common/command_line_options.hpp"
#include "common/errors.hpp"

namespace c2m::regrid {
namespace {

TEST(target_spacing, one_number_or_two_in_degrees) {
  EXPECT_EQ(parse_spacing("0.25").dlat, 0.25);
  EXPECT_EQ(parse_spacing("0.25").dlon, 0.25);
  EXPECT_EQ(parse_spacing("0.5/1").dlat, 0.5);
  EXPECT_EQ(parse_spacing("0.5/1").dlon, 1.0);
  EXPECT_EQ(parse_spacing("0.001").dlat, 0.001);
  for (const char* bad : {"", "x", "0", "-1", "0.25/", "/1", "1/2/3", "11", "nan", "inf", "1e400",
                          "0.25 ", "1e-300", "0.0009"})
    EXPECT_THROW(parse_spacing(bad), usage_error) << bad;
}

TEST(target_area, an_area_is_counted_in_whole_steps_from_its_south_west_corner) {
  const target_grid g = target_over({0.25, 0.25}, {45, -110, 30, -80});
  EXPECT_EQ(g.nlon, 121);
  EXPECT_EQ(g.nlat, 61);
  EXPECT_DOUBLE_EQ(g.lat(60), 45);
  EXPECT_DOUBLE_EQ(g.lon(120), -80);
  EXPECT_EQ(g.area_text(), "45/-110/30/-80");
  // Round the earth, the column at west + 360 is the first one again.
  EXPECT_EQ(target_over({1, 1}, {90, -180, -90, 180}).nlon, 360);
  EXPECT_EQ(target_over({1, 1}, {10, 170, 0, -170}).nlon, 21);
}

TEST(target_area, too_many_points_or_too_few_are_refused) {
  EXPECT_THROW(target_over({0.01, 0.01}, {90, -180, -90, 180}), run_error);
  EXPECT_THROW(target_over({1, 1}, {10, 0, 10, 5}), run_error);
  try {
    target_over({0.02, 0.02}, {90, -180, -90, 180});
    FAIL();
  } catch (const run_error& e) {
    EXPECT_NE(std::string(e.what()).find("more than 25000000"), std::string::npos) << e.what();
  }
}

TEST(target_area, a_global_source_gives_the_whole_earth) {
  std::vector<grid_row> rows;
  for (int j = 0; j < 181; ++j)
    rows.push_back({90.0 - j, 0.0, 1.0, 360, std::size_t(j) * 360, true});
  const source_grid g = source_grid::rows("one degree", std::move(rows), false);
  const target_grid t = largest_inside({0.5, 0.5}, g);
  EXPECT_EQ(t.nlat, 361);
  EXPECT_EQ(t.nlon, 720);
  EXPECT_EQ(t.south, -90);
}

// A regional rotated grid: the largest area found lies inside, and one step more in any
// direction leaves it.
TEST(target_area, the_largest_area_inside_a_regional_grid_cannot_grow) {
  std::vector<grid_row> rows;
  for (int j = 0; j < 41; ++j) rows.push_back({-20.0 + j, -20.0, 1.0, 41, std::size_t(j) * 41});
  source_grid g = source_grid::rows("rotated", std::move(rows), true, {-40, 10});
  std::vector<float> lat, lon;
  for (int j = 0; j < 41; ++j)
    for (int i = 0; i < 41; ++i) {
      // The geographic place of rotated point (i, j): the sphere turned back.
      const double d = 3.14159265358979323846 / 180, theta = 50 * d;
      const double pr = (-20.0 + j) * d, lr = (-20.0 + i) * d;
      const double xr = std::cos(pr) * std::cos(lr), yr = std::cos(pr) * std::sin(lr),
                   zr = std::sin(pr);
      const double x = std::cos(theta) * xr - std::sin(theta) * zr,
                   z = std::sin(theta) * xr + std::cos(theta) * zr;
      lat.push_back(float(std::asin(z) / d));
      lon.push_back(float(std::atan2(yr, x) / d + 10));
    }
  g.set_coordinates(lat, lon);
  const target_grid t = largest_inside({0.5, 0.5}, g);
  EXPECT_GT(t.nlat * t.nlon, 1000);
  for (std::int64_t j = 0; j < t.nlat; ++j)
    for (std::int64_t i = 0; i < t.nlon; ++i)
      ASSERT_TRUE(g.locate(t.lat(j), t.lon(i)).inside) << j << " " << i;
  const auto all_inside = [&](double s, double w, std::int64_t nlat, std::int64_t nlon) {
    for (std::int64_t j = 0; j < nlat; ++j)
      for (std::int64_t i = 0; i < nlon; ++i)
        if (!g.locate(s + 0.5 * double(j), w + 0.5 * double(i)).inside) return false;
    return true;
  };
  EXPECT_FALSE(all_inside(t.south - 0.5, t.west, t.nlat + 1, t.nlon));
  EXPECT_FALSE(all_inside(t.south, t.west, t.nlat + 1, t.nlon));
  EXPECT_FALSE(all_inside(t.south, t.west - 0.5, t.nlat, t.nlon + 1));
  EXPECT_FALSE(all_inside(t.south, t.west, t.nlat, t.nlon + 1));
}

}  // namespace
}  // namespace c2m::regrid

#include "companion/inspect/overview.hpp"

#include <cairo.h>
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <memory>

#include "common/errors.hpp"
#include "companion/inspect/tests/work_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::inspect {
namespace {

TEST(inspect_overview, standard_levels_are_taken_as_they_are_or_from_the_nearest_level) {
  companion::grid_info info;
  info.lm = 6;
  for (const float hpa : {1000.0f, 850.0f, 700.0f, 500.0f, 300.0f, 200.0f})
    info.pressure_pa.push_back(hpa * 100.0f);
  // 850 and 500 as they are; 250 lies between 300 and 200: the first of the two nearest.
  EXPECT_EQ(overview_levels(info), (std::vector<std::int32_t>{2, 4, 5}));
  info.lm = 2;
  info.pressure_pa = {100000.0f, 90000.0f};  // every standard level nearest to 900: once
  EXPECT_EQ(overview_levels(info), (std::vector<std::int32_t>{2}));
}

TEST(inspect_overview, wind_speed_is_missing_where_a_component_is) {
  constexpr float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> u = {3.0f, -6.0f, -99999.0f, 1.0f, nan};
  const std::vector<float> v = {4.0f, 8.0f, 1.0f, -99999.0f, 1.0f};
  EXPECT_EQ(wind_speed(u, v), (std::vector<float>{5.0f, 10.0f, -99999.0f, -99999.0f, -99999.0f}));
}

// Counts of the picture's colours.
std::map<std::uint32_t, int> colours_of(const std::string& path) {
  std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> s(
      cairo_image_surface_create_from_png(path.c_str()), cairo_surface_destroy);
  EXPECT_EQ(cairo_surface_status(s.get()), CAIRO_STATUS_SUCCESS);
  std::map<std::uint32_t, int> count;
  const int w = cairo_image_surface_get_width(s.get()), h = cairo_image_surface_get_height(s.get());
  const unsigned char* data = cairo_image_surface_get_data(s.get());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      ++count[reinterpret_cast<const std::uint32_t*>(
                  data +
                  static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(s.get()))[x] &
              0xffffffu];
  return count;
}

std::uint32_t packed(rgb c) {
  return (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
}

TEST(inspect_overview, one_picture_holds_the_mask_the_land_fields_and_the_levels) {
  c2m::test::scratch_dir dir;
  test::work_case c = test::make_case(8, 4, 3);
  for (std::int32_t j = 1; j <= 4; ++j)
    for (std::int32_t i = 1; i <= 4; ++i) c.at(16, i, j) = 0.0f;  // sea in the west
  write_case(c, dir / "w");
  const companion::work_file w = companion::read_work_file(dir / "w");
  write_overview(w, {}, dir / "o.png");
  const std::map<std::uint32_t, int> colours = colours_of(dir / "o.png");
  const auto has = [&](rgb c) {
    const auto it = colours.find(packed(c));
    return it == colours.end() ? 0 : it->second;
  };
  EXPECT_GT(has(sea_colour), 1000);  // the mask, as two classes
  EXPECT_GT(has(land_colour), 1000);
  EXPECT_GT(has(sea_grey), 3000);      // topography and two soil fields: sea set apart
  EXPECT_GT(has(viridis(0.5)), 5000);  // constant fields: pressures, ta, zg, the winds' speed

  EXPECT_THROW(write_overview(w, {}, dir / "no/such/o.png"), run_error);
  EXPECT_FALSE(c2m::test::file_exists(dir / "no/such/o.png"));
}

}  // namespace
}  // namespace c2m::inspect

#include "companion/png_export.hpp"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <limits>

#include "companion/colour_map.hpp"
#include "companion/tests/work_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::inspect {
namespace {

// Reads a PNG back with libpng as 8-bit RGB.
raster read_png(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    ADD_FAILURE() << image.message;
    return raster(0, 0, {});
  }
  image.format = PNG_FORMAT_RGB;
  raster r(static_cast<int>(image.width), static_cast<int>(image.height), {});
  if (!png_image_finish_read(&image, nullptr, r.pixels.data(), 0, nullptr))
    ADD_FAILURE() << image.message;
  return r;
}

std::uint32_t big_endian(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t k = 0; k < 4; ++k) v = (v << 8) | static_cast<unsigned char>(bytes[at + k]);
  return v;
}

// Centre pixel of grid point (i, j) for a map where row j = jm is at the top.
rgb cell(const raster& r, const quicklook_layout& q, std::int32_t im, std::int32_t jm,
         std::int32_t i, std::int32_t j) {
  const int x = q.map_x + (2 * (i - 1) + 1) * q.map_w / (2 * im);
  const int y = q.map_y + (2 * (jm - j) + 1) * q.map_h / (2 * jm);
  return r.get(x, y);
}

// tp level 1 rises northwards: 1 K per row from 201 K; one missing point, one NaN.
test::work_case gradient_case() {
  test::work_case c = test::make_case(5, 4, 2);
  for (std::int32_t j = 1; j <= 4; ++j)
    for (std::int32_t i = 1; i <= 5; ++i) c.at(9, i, j) = 200.0f + static_cast<float>(j);
  c.at(9, 1, 4) = -99999.0f;
  c.at(9, 3, 2) = std::numeric_limits<float>::quiet_NaN();
  return c;
}

TEST(inspect_png_export, writes_an_rgb_png_of_the_planned_size) {
  c2m::test::scratch_dir dir;
  write_case(gradient_case(), dir / "w");
  const work_file w = read_work_file(dir / "w");
  write_png(render_quicklook(w, find_record(w.info, "tp", 1)), dir / "tp.png");

  const std::string bytes = c2m::test::read_file(dir / "tp.png");
  ASSERT_GT(bytes.size(), 33u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(bytes.substr(12, 4), "IHDR");
  const quicklook_layout q = plan_quicklook(5, 4);
  EXPECT_EQ(q.map_w, 480);  // a small grid is enlarged
  EXPECT_EQ(q.map_h, 384);
  EXPECT_GE(big_endian(bytes, 16), static_cast<std::uint32_t>(q.width));
  EXPECT_EQ(big_endian(bytes, 20), static_cast<std::uint32_t>(q.height));
  EXPECT_EQ(bytes[24], 8);  // bit depth
  EXPECT_EQ(bytes[25], 2);  // colour type RGB
  EXPECT_LT(bytes.size(), 40000u);
}

TEST(inspect_png_export, north_is_up_missing_is_grey_and_the_bar_runs_from_min_to_max) {
  c2m::test::scratch_dir dir;
  write_case(gradient_case(), dir / "w");
  const work_file w = read_work_file(dir / "w");
  write_png(render_quicklook(w, find_record(w.info, "tp", 1)), dir / "tp.png");
  const raster r = read_png(dir / "tp.png");
  const quicklook_layout q = plan_quicklook(5, 4);
  ASSERT_EQ(r.height, q.height);

  EXPECT_EQ(cell(r, q, 5, 4, 5, 4), viridis(1.0));  // the northern row is the warmest
  EXPECT_EQ(cell(r, q, 5, 4, 2, 1), viridis(0.0));
  EXPECT_EQ(cell(r, q, 5, 4, 4, 2), viridis(1.0 / 3.0));
  EXPECT_EQ(cell(r, q, 5, 4, 1, 4), missing_grey);  // the north-west corner is missing
  EXPECT_EQ(cell(r, q, 5, 4, 3, 2), missing_grey);  // and so is the NaN
  EXPECT_EQ(r.get(q.bar_x + q.bar_w / 2, q.bar_y), viridis(1.0));
  EXPECT_EQ(r.get(q.bar_x + q.bar_w / 2, q.bar_y + q.bar_h - 1), viridis(0.0));
  EXPECT_EQ(r.get(0, 0), (rgb{255, 255, 255}));

  // The labels beside the bar: ink next to its top and its bottom, none in between.
  const auto ink_rows = [&](int y0, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = q.bar_x + q.bar_w + 2; x < r.width; ++x) n += r.get(x, y).r < 100;
    return n;
  };
  EXPECT_GT(ink_rows(q.bar_y, q.bar_y + 14), 20);
  EXPECT_GT(ink_rows(q.bar_y + q.bar_h - 14, q.bar_y + q.bar_h), 20);
  EXPECT_EQ(ink_rows(q.bar_y + 20, q.bar_y + q.bar_h - 20), 0);
}

TEST(inspect_png_export, rows_stored_north_to_south_are_still_drawn_north_up) {
  c2m::test::scratch_dir dir;
  test::work_case c = gradient_case();
  c.kgds[11] = 0;  // j runs north to south: row 1 is the northernmost
  write_case(c, dir / "w");
  const work_file w = read_work_file(dir / "w");
  write_png(render_quicklook(w, find_record(w.info, "tp", 1)), dir / "tp.png");
  const raster r = read_png(dir / "tp.png");
  const quicklook_layout q = plan_quicklook(5, 4);
  // cell() puts row jm at the top; here the top row is row 1, the coldest.
  EXPECT_EQ(cell(r, q, 5, 4, 2, 4), viridis(0.0));
  EXPECT_EQ(cell(r, q, 5, 4, 5, 1), viridis(1.0));
}

TEST(inspect_png_export, large_grids_are_thinned_and_a_field_without_data_is_grey) {
  const quicklook_layout big = plan_quicklook(4096, 1024);
  EXPECT_EQ(big.map_w, 2048);
  EXPECT_EQ(big.map_h, 512);
  const quicklook_layout mid = plan_quicklook(1000, 700);
  EXPECT_EQ(mid.map_w, 1000);

  c2m::test::scratch_dir dir;
  test::work_case c = test::make_case(3, 3, 1);
  std::fill_n(c.record(6), 9, -99999.0f);  // the land-sea mask
  write_case(c, dir / "w");
  const work_file w = read_work_file(dir / "w");
  const raster r = render_quicklook(w, find_record(w.info, "lsm", 0));
  const quicklook_layout q = plan_quicklook(3, 3);
  EXPECT_EQ(cell(r, q, 3, 3, 2, 2), missing_grey);
  EXPECT_EQ(r.get(q.bar_x + 2, q.bar_y + q.bar_h / 2), (rgb{255, 255, 255}));  // no bar
}

}  // namespace
}  // namespace c2m::inspect

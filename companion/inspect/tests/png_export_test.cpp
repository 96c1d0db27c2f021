#include "companion/inspect/png_export.hpp"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "common/errors.hpp"
#include "companion/inspect/tests/work_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::inspect {
namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();

// A PNG read back with Cairo.
class picture {
 public:
  explicit picture(const std::string& path)
      : s_(cairo_image_surface_create_from_png(path.c_str()), cairo_surface_destroy) {
    EXPECT_EQ(cairo_surface_status(s_.get()), CAIRO_STATUS_SUCCESS) << path;
  }
  int width() const { return cairo_image_surface_get_width(s_.get()); }
  int height() const { return cairo_image_surface_get_height(s_.get()); }
  rgb at(double x, double y) const {
    const int xi = static_cast<int>(x), yi = static_cast<int>(y);
    if (xi < 0 || yi < 0 || xi >= width() || yi >= height()) return {};
    const unsigned char* row =
        cairo_image_surface_get_data(s_.get()) +
        static_cast<std::ptrdiff_t>(yi) * cairo_image_surface_get_stride(s_.get());
    const std::uint32_t p = reinterpret_cast<const std::uint32_t*>(row)[xi];
    return {static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
            static_cast<std::uint8_t>(p)};
  }

 private:
  std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> s_;
};

// Dark and neutral: text and lines, which no colour of the scales is.
bool is_ink(rgb c) {
  const auto spread = std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b});
  return c.r < 128 && spread < 12;
}

// Within a step of the colour bar's strips.
bool near(rgb a, rgb b) {
  return std::abs(a.r - b.r) <= 4 && std::abs(a.g - b.g) <= 4 && std::abs(a.b - b.b) <= 4;
}

// Centre pixel of grid point (i, j) on a map where row jm is at the top.
rgb cell(const picture& p, const quicklook_layout& q, std::int32_t im, std::int32_t jm,
         std::int32_t i, std::int32_t j) {
  return p.at(q.map_x + (i - 0.5) * q.map_w / im, q.map_y + (jm - j + 0.5) * q.map_h / jm);
}

// tp level 1 rises northwards: 1 K per row from 201 K; one missing point, one NaN.
test::work_case gradient_case() {
  test::work_case c = test::make_case(5, 4, 2);
  for (std::int32_t j = 1; j <= 4; ++j)
    for (std::int32_t i = 1; i <= 5; ++i) c.at(9, i, j) = 200.0f + static_cast<float>(j);
  c.at(9, 1, 4) = -99999.0f;
  c.at(9, 3, 2) = nan;
  return c;
}

picture draw(const test::work_case& c, const c2m::test::scratch_dir& dir, const char* field,
             std::int32_t level, const picture_options& options = {}) {
  write_case(c, dir / "w");
  const companion::work_file w = companion::read_work_file(dir / "w");
  write_quicklook(w, companion::find_record(w.info, field, level), options, dir / "p.png");
  return picture(dir / "p.png");
}

TEST(inspect_png_export, north_is_up_missing_is_grey_and_colours_follow_the_values) {
  c2m::test::scratch_dir dir;
  const picture p = draw(gradient_case(), dir, "ta", 1);
  write_case(gradient_case(), dir / "w");
  const quicklook_layout q = plan_quicklook(companion::read_work_file(dir / "w").info);
  EXPECT_GE(p.width(), q.width);
  EXPECT_EQ(p.height(), q.height);
  EXPECT_EQ(c2m::test::read_file(dir / "p.png").substr(1, 3), "PNG");

  EXPECT_EQ(cell(p, q, 5, 4, 5, 4), viridis(1.0));  // the northern row is the warmest
  EXPECT_EQ(cell(p, q, 5, 4, 2, 1), viridis(0.0));
  EXPECT_EQ(cell(p, q, 5, 4, 4, 2), viridis(1.0 / 3.0));
  EXPECT_EQ(cell(p, q, 5, 4, 1, 4), missing_grey);  // the north-west corner is missing
  EXPECT_EQ(cell(p, q, 5, 4, 3, 2), missing_grey);  // and so is the NaN
  EXPECT_TRUE(near(p.at(q.bar_x + q.bar_w / 2, q.bar_y + 2), viridis(1.0)));
  EXPECT_TRUE(near(p.at(q.bar_x + q.bar_w / 2, q.bar_y + q.bar_h - 2), viridis(0.0)));
  EXPECT_TRUE(near(p.at(q.bar_x + q.bar_w / 2, q.bar_y + q.bar_h / 2), viridis(0.5)));
  EXPECT_EQ(p.at(1, 1), (rgb{255, 255, 255}));

  // Text: the title above the map, tick labels left of it and below it, bar labels.
  const auto ink = [&](double x0, double y0, double x1, double y1) {
    int n = 0;
    for (double y = y0; y < y1; ++y)
      for (double x = x0; x < x1; ++x) n += is_ink(p.at(x, y));
    return n;
  };
  EXPECT_GT(ink(q.map_x, 0, q.map_x + q.map_w, q.map_y - q.font), 100);
  EXPECT_GT(ink(0, q.map_y, q.map_x - q.font * 0.5, q.map_y + q.map_h), 100);
  EXPECT_GT(ink(q.map_x, q.map_y + q.map_h + 3, q.map_x + q.map_w, q.map_y + q.map_h + 2 * q.font),
            100);
  EXPECT_GT(ink(q.bar_x + q.bar_w + 2, q.bar_y, p.width(), q.bar_y + q.bar_h), 100);
  // The map's inside holds no text.
  EXPECT_EQ(ink(q.map_x + 3, q.map_y + 3, q.map_x + q.map_w - 3, q.map_y + q.map_h - 3), 0);
}

TEST(inspect_png_export, rows_stored_north_to_south_are_still_drawn_north_up) {
  c2m::test::scratch_dir dir;
  test::work_case c = gradient_case();
  std::swap(c.kgds[4], c.kgds[7]);  // row 1 is the northernmost
  c.kgds[11] = 0;
  const picture p = draw(c, dir, "tp", 1);
  const quicklook_layout q = plan_quicklook(companion::read_work_file(dir / "w").info);
  // cell() puts row jm at the top; here the top row is row 1, the coldest.
  EXPECT_EQ(cell(p, q, 5, 4, 2, 4), viridis(0.0));
  EXPECT_EQ(cell(p, q, 5, 4, 5, 1), viridis(1.0));
}

TEST(inspect_png_export, the_map_keeps_degrees_square_and_a_global_grid_is_two_to_one) {
  companion::grid_info global;
  global.im = 1440;
  global.jm = 721;
  global.kgds = {0, 0, 1440, 721, -90000, 0, 128, 90000, 359750, 250, 250, 64};
  const quicklook_layout g = plan_quicklook(global);
  EXPECT_EQ(g.map_w, 1440);
  EXPECT_EQ(g.map_h, 720);

  companion::grid_info big = global;  // larger grids are thinned to 1440 pixels
  big.im = 4096;
  big.jm = 2049;
  big.kgds[2] = 4096;
  big.kgds[3] = 2049;
  big.kgds[8] = 359912;
  EXPECT_EQ(plan_quicklook(big).map_w, 1440);

  companion::grid_info tall;  // 10 x 40 points of 1 by 0.25 degrees: 10 by 10 degrees, square
  tall.im = 10;
  tall.jm = 40;
  tall.kgds = {0, 0, 10, 40, 40000, 0, 128, 49750, 9000, 1000, 250, 64};
  const quicklook_layout t = plan_quicklook(tall);
  EXPECT_EQ(t.map_w, 720);
  EXPECT_EQ(t.map_h, 720);
  EXPECT_GE(t.font, 13.0);

  tall.kgds[1] = 3;  // not latitude/longitude: drawn point by point
  const quicklook_layout points = plan_quicklook(tall);
  EXPECT_EQ(points.map_w, 180);
  EXPECT_EQ(points.map_h, 720);
}

TEST(inspect_png_export, a_grid_that_is_not_latitude_longitude_is_still_drawn) {
  c2m::test::scratch_dir dir;
  test::work_case c = gradient_case();
  c.kgds[1] = 5;
  const picture p = draw(c, dir, "ta", 1);
  const quicklook_layout q = plan_quicklook(companion::read_work_file(dir / "w").info);
  EXPECT_EQ(cell(p, q, 5, 4, 5, 4), viridis(1.0));  // rows as the scanning mode says
  EXPECT_EQ(cell(p, q, 5, 4, 2, 1), viridis(0.0));
}

TEST(inspect_png_export, winds_use_a_scale_centred_on_zero) {
  c2m::test::scratch_dir dir;
  test::work_case c = test::make_case(5, 4, 1);
  for (std::int32_t i = 1; i <= 5; ++i)
    for (std::int32_t j = 1; j <= 4; ++j)
      c.at(1, i, j) = -10.0f + 3.75f * static_cast<float>(i - 1);
  const picture p = draw(c, dir, "ua", 1);  // -10, -6.25, -2.5, 1.25, 5: range -10 to 10
  const quicklook_layout q = plan_quicklook(companion::read_work_file(dir / "w").info);
  EXPECT_EQ(cell(p, q, 5, 4, 1, 2), blue_white_red(0.0));
  EXPECT_EQ(cell(p, q, 5, 4, 5, 2), blue_white_red(0.75));
  EXPECT_EQ(p.at(q.bar_x + q.bar_w / 2, q.bar_y + q.bar_h / 2), (rgb{255, 255, 255}));
}

// Six columns of four rows, the western three sea.
test::work_case sea_in_the_west() {
  test::work_case c = test::make_case(6, 4, 1);
  for (std::int32_t j = 1; j <= 4; ++j)
    for (std::int32_t i = 1; i <= 3; ++i) c.at(6, i, j) = 0.0f;
  return c;
}

TEST(inspect_png_export, the_coast_is_drawn_where_the_land_sea_mask_changes) {
  c2m::test::scratch_dir dir;
  const test::work_case c = sea_in_the_west();
  const picture p = draw(c, dir, "orog", 0);
  const quicklook_layout q = plan_quicklook(companion::read_work_file(dir / "w").info);
  // A line darkens one or two pixel columns at the edge of the cells.
  const rgb plain = cell(p, q, 6, 4, 2, 2);
  const auto darkened = [&](double x) {
    int rows = 0;
    for (double y = q.map_y + 2; y < q.map_y + q.map_h - 2; ++y) {
      const auto sum = [](rgb c) { return c.r + c.g + c.b; };
      rows += std::min(sum(p.at(x - 1, y)), sum(p.at(x, y))) < sum(plain) * 6 / 10;
    }
    return rows;
  };
  EXPECT_GT(darkened(q.map_x + q.map_w / 2), q.map_h * 0.9);  // between columns 3 and 4
  EXPECT_EQ(darkened(q.map_x + q.map_w / 6), 0);              // between columns 1 and 2
}

TEST(inspect_png_export, a_constant_field_and_a_field_without_data_are_drawn) {
  c2m::test::scratch_dir dir;
  test::work_case c = test::make_case(3, 3, 1);
  std::fill_n(c.record(6), 9, -99999.0f);  // the land-sea mask
  picture p = draw(c, dir, "lsm", 0);
  quicklook_layout q = plan_quicklook(companion::read_work_file(dir / "w").info);
  EXPECT_EQ(cell(p, q, 3, 3, 2, 2), missing_grey);
  EXPECT_EQ(p.at(q.bar_x + 2, q.bar_y + q.bar_h / 2), (rgb{255, 255, 255}));  // no bar

  p = draw(test::make_case(3, 3, 1), dir, "topo", 0);  // 100 m everywhere
  EXPECT_EQ(cell(p, q, 3, 3, 2, 2), viridis(0.5));
  EXPECT_EQ(p.at(q.bar_x + q.bar_w / 2, q.bar_y + q.bar_h / 2), viridis(0.5));
}

TEST(inspect_png_export, the_default_range_leaves_out_a_few_outliers) {
  std::vector<float> v;
  for (int k = 0; k < 2000; ++k) v.push_back(270.0f + static_cast<float>(k % 21));  // 270..290
  for (int k = 0; k < 5; ++k) v.push_back(0.0f);  // soil temperature the repair left at 0
  v.push_back(-99999.0f);
  v.push_back(nan);
  const display_scale plain{1.0, "K", false};
  colour_range r = choose_range(v, plain, {});
  EXPECT_EQ(r.low, 270.0);
  EXPECT_EQ(r.high, 290.0);
  EXPECT_EQ(r.below, 5u);
  EXPECT_EQ(r.above, 0u);
  EXPECT_EQ(r.valid, 2005u);
  EXPECT_TRUE(r.trimmed);

  v.resize(2000);  // without the outliers the range is the extremes
  v.push_back(292.0f);
  r = choose_range(v, plain, {});
  EXPECT_EQ(r.high, 292.0);
  EXPECT_FALSE(r.trimmed);

  picture_options given;
  given.min = 280.0;
  r = choose_range(v, plain, given);
  EXPECT_EQ(r.low, 280.0);
  EXPECT_EQ(r.high, 292.0);
  EXPECT_EQ(r.below, 955u);  // 270 .. 279, 96 times each for 270 .. 274, 95 for the rest

  // Implausible values are left out of the range whatever their number.
  std::vector<float> soil(300, 0.0f);
  for (int k = 0; k < 700; ++k) soil.push_back(280.0f + static_cast<float>(k % 10));
  r = choose_range(soil, plain, {},
                   companion::describe_field("Soil Temperature  layer 1 (K)").range);
  EXPECT_EQ(r.low, 280.0);
  EXPECT_EQ(r.high, 289.0);
  EXPECT_EQ(r.below, 300u);
  EXPECT_EQ(choose_range(soil, plain, {}).low, 0.0);  // without the field's range

  const std::vector<float> q = {0.001f, 0.012f, -99999.0f};
  r = choose_range(q, display_of(companion::describe_field("Specific humidity (kg/kg)")), {});
  EXPECT_NEAR(r.low, 1.0, 1e-6);  // g/kg
  EXPECT_NEAR(r.high, 12.0, 1e-6);
  const std::vector<float> wind = {-3.0f, 8.0f};
  r = choose_range(wind, display_of(companion::describe_field("Zonal wind (m/s)")), {});
  EXPECT_EQ(r.low, -8.0);
  EXPECT_EQ(r.high, 8.0);
}

TEST(inspect_png_export, the_land_sea_mask_is_two_classes_with_a_two_entry_legend) {
  c2m::test::scratch_dir dir;
  const test::work_case c = sea_in_the_west();
  const picture p = draw(c, dir, "sftlf", 0);
  const quicklook_layout q = plan_quicklook(companion::read_work_file(dir / "w").info);
  EXPECT_EQ(cell(p, q, 6, 4, 2, 2), sea_colour);
  EXPECT_EQ(cell(p, q, 6, 4, 5, 3), land_colour);
  // Land above sea, each a box, and no continuous bar below them.
  EXPECT_EQ(p.at(q.bar_x + q.bar_w / 2, q.bar_y + q.bar_w / 2), land_colour);
  EXPECT_EQ(p.at(q.bar_x + q.bar_w / 2, q.bar_y + q.bar_w * 1.5 + q.font), sea_colour);
  EXPECT_EQ(p.at(q.bar_x + q.bar_w / 2, q.bar_y + q.bar_h * 0.75), (rgb{255, 255, 255}));
}

TEST(inspect_png_export, fields_over_land_only_show_the_sea_apart_and_colour_the_land) {
  c2m::test::scratch_dir dir;
  test::work_case c = test::make_case(6, 4, 1);
  for (std::int32_t j = 1; j <= 4; ++j)
    for (std::int32_t i = 1; i <= 6; ++i) {
      c.at(6, i, j) = i <= 3 ? 0.0f : 1.0f;                 // sea in the west
      c.at(10, i, j) = i <= 3 ? 0.0f : 270.0f + 10.0f * j;  // st1: 0 K over sea, 280..310
    }
  write_case(c, dir / "w");
  const companion::work_file w = companion::read_work_file(dir / "w");
  for (const char* field : {"tsl1", "orog", "mrsov1"}) {
    write_quicklook(w, companion::find_record(w.info, field, 0), {}, dir / "p.png");
    const picture p(dir / "p.png");
    const quicklook_layout q = plan_quicklook(w.info);
    EXPECT_EQ(cell(p, q, 6, 4, 2, 2), sea_grey) << field;
    EXPECT_NE(cell(p, q, 6, 4, 5, 2), sea_grey) << field;
  }
  // The colours come from the land: 280 K is the low end, not the sea's 0 K.
  write_quicklook(w, companion::find_record(w.info, "tsl1", 0), {}, dir / "p.png");
  const picture p(dir / "p.png");
  const quicklook_layout q = plan_quicklook(w.info);
  EXPECT_EQ(cell(p, q, 6, 4, 5, 1), viridis(0.0));
  EXPECT_EQ(cell(p, q, 6, 4, 5, 4), viridis(1.0));
  // Fields over sea and land alike draw the sea as data.
  write_quicklook(w, companion::find_record(w.info, "ps", 0), {}, dir / "p.png");
  EXPECT_NE(cell(picture(dir / "p.png"), q, 6, 4, 2, 2), sea_grey);
}

// Whatever the size of the picture, the units above the colour bar stay clear of the
// triangle that says values lie beyond its top.
TEST(inspect_png_export, the_units_stand_clear_of_the_bar_end_at_every_size) {
  c2m::test::scratch_dir dir;
  for (const std::int32_t im : {5, 900, 1440}) {
    test::work_case c = test::make_case(im, 3, 1);
    for (std::int32_t i = 1; i <= im; ++i) c.at(4, i, 2) = 0.02f;  // hus: 1 g/kg, 20 in a row
    picture_options options;
    options.max = 5.0;
    write_case(c, dir / "w");
    const companion::work_file w = companion::read_work_file(dir / "w");
    write_quicklook(w, companion::find_record(w.info, "hus", 1), options, dir / "p.png");
    const picture p(dir / "p.png");
    const quicklook_layout q = plan_quicklook(w.info);
    const double apex = q.bar_y - bar_arrow_height(q);
    EXPECT_FALSE(p.at(q.bar_x + q.bar_w / 2, apex + 2) == (rgb{255, 255, 255})) << im;
    // Between the apex and the units a band of white across the bar's width; above it ink.
    int ink_above = 0;
    for (double y = apex - q.font * 1.6; y < apex - 2; ++y)
      for (double x = q.bar_x - 2; x < q.bar_x + q.bar_w + 2; ++x) {
        const bool white = p.at(x, y) == rgb{255, 255, 255};
        if (y >= apex - q.font * 0.3) {
          EXPECT_TRUE(white) << im << " at " << x << ", " << y;
        }
        ink_above += is_ink(p.at(x, y));
      }
    EXPECT_GT(ink_above, 5) << im;  // the units are there
  }
}

TEST(inspect_png_export, the_subtitle_names_the_analysis_time_and_the_footer_four_figures) {
  c2m::test::scratch_dir dir;
  write_case(gradient_case(), dir / "w");
  const companion::work_file w = companion::read_work_file(dir / "w");
  const companion::record_id r = companion::find_record(w.info, "ta", 1);
  panel_result panel;
  panel.geographic = true;
  panel.range = {201.123456, 204.987654, 0, 0, 18, false};
  picture_options options;
  options.time = parse_analysis_time("2024-01-15T06");
  const picture_texts t = quicklook_texts(w, r, panel, options);
  EXPECT_EQ(t.subtitle,
            "ta, level 1 of 2, 1000 hPa, analysis 2024-01-15 06:00 UTC   " + (dir / "w"));
  EXPECT_EQ(t.footer, "colours from 201.1 to 205");
  EXPECT_EQ(t.missing, "missing: 2 of 20 points");
  // A range given below every value is no constant field.
  options.max = 150.0;
  panel.range = {150.0, 150.0, 0, 18, 18, false};
  EXPECT_EQ(quicklook_texts(w, r, panel, options).footer,
            "colours from 150 to 150 as asked (0 points below, 18 above)");
  panel.range = {201.5, 201.5, 0, 0, 18, false};
  EXPECT_EQ(quicklook_texts(w, r, panel, {}).footer, "every valid point is 201.5");
  EXPECT_EQ(quicklook_texts(w, r, panel, {}).subtitle.find("analysis"), std::string::npos);
}

TEST(inspect_png_export, an_unwritable_picture_is_an_error_and_leaves_nothing) {
  c2m::test::scratch_dir dir;
  write_case(test::make_case(3, 3, 1), dir / "w");
  const companion::work_file w = companion::read_work_file(dir / "w");
  EXPECT_THROW(
      write_quicklook(w, companion::find_record(w.info, "orog", 0), {}, dir / "no/such/p.png"),
      run_error);
  EXPECT_FALSE(c2m::test::file_exists(dir / "no/such/p.png"));
}

}  // namespace
}  // namespace c2m::inspect

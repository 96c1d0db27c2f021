#include "companion/png_export.hpp"

#include <png.h>

#include <algorithm>
#include <cmath>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "companion/bitmap_font.hpp"
#include "companion/colour_map.hpp"
#include "companion/grid_axes.hpp"
#include "companion/number_text.hpp"
#include "companion/staged_output.hpp"
#include "companion/stats.hpp"

namespace c2m::inspect {

namespace {

constexpr rgb background = {255, 255, 255};
constexpr rgb ink = {30, 30, 30};
constexpr int text_scale = 2;
constexpr int line_height = (glyph_rows + 2) * text_scale;
constexpr int margin = 16;
constexpr int title_lines = 2;
constexpr int footer_lines = 2;
constexpr int label_chars = 11;  // "-1.2346e+05"

// Map size in pixels along one axis for n points.
int map_extent(std::int32_t n, std::int32_t longest) {
  const std::int64_t target = 480, most = 2048;
  std::int64_t pixels = n;
  if (longest < target)
    pixels = n * (target / longest);
  else if (longest > most)
    pixels = std::max<std::int64_t>(1, n * most / longest);
  return static_cast<int>(pixels);
}

bool is_valid(float v) {
  return std::isfinite(v) && v != missing_value;
}

std::string title_of(const work_file& w, const record_id& r) {
  std::string t = r.field->short_name;
  if (r.level > 0)
    t += ", level " + std::to_string(r.level) + " of " + std::to_string(w.info.lm) + ", " +
         short_number(r.pressure_hpa) + " hPa";
  else
    t += ", surface field";
  return t;
}

// "lat 35 to 42.25, lon -10 to -0.25" when the grid is a latitude/longitude grid.
std::string extent_of(const work_file& w) {
  try {
    const grid_axes a = make_axes(w.info, w.path);
    return "lat " + short_number(a.lat.front()) + " to " + short_number(a.lat.back()) + ", lon " +
           short_number(a.lon.front()) + " to " + short_number(a.lon.back());
  } catch (const run_error&) {
    return "";
  }
}

}  // namespace

quicklook_layout plan_quicklook(std::int32_t im, std::int32_t jm) {
  quicklook_layout q;
  const std::int32_t longest = std::max(im, jm);
  q.map_w = map_extent(im, longest);
  q.map_h = map_extent(jm, longest);
  q.map_x = margin + 1;
  q.map_y = margin + title_lines * line_height + 4 + 1;
  q.bar_w = 24;
  q.bar_h = std::max(q.map_h, 160);
  q.bar_x = q.map_x + q.map_w + 1 + 20 + 1;
  q.bar_y = q.map_y;
  const int label_w = text_width(std::string(label_chars, '0'), text_scale);
  q.width = q.bar_x + q.bar_w + 1 + 8 + label_w + margin;
  q.height = q.map_y + std::max(q.map_h, q.bar_h) + 1 + 8 + footer_lines * line_height + margin;
  return q;
}

raster render_quicklook(const work_file& w, const record_id& r) {
  const quicklook_layout q = plan_quicklook(w.info.im, w.info.jm);
  const std::span<const float> values = w.record(r.number);
  const record_stats s = compute_stats(values, range_check::none);
  const auto colour_of = [&](float v) {
    if (!is_valid(v)) return missing_grey;
    if (!(s.max > s.min)) return viridis(0.5);
    return viridis((static_cast<double>(v) - s.min) / (static_cast<double>(s.max) - s.min));
  };

  // Title: the field's name and units, then which record it is; the footer gives the
  // grid's extent and how many points are missing (grey).
  std::string name = r.field->long_name;
  if (!r.field->units.empty()) name += " (" + r.field->units + ")";
  const std::string subtitle = title_of(w, r), extent = extent_of(w);
  const std::size_t gaps = values.size() - s.valid;
  const std::string missing =
      "missing: " + std::to_string(gaps) + " of " + std::to_string(values.size()) + " points";
  int width = q.width;
  for (const std::string& t : {name, subtitle, extent, missing})
    width =
        std::max(width, margin * 2 + (glyph_height + 3) * text_scale + text_width(t, text_scale));
  raster pic(width, q.height, background);
  draw_text(pic, margin, margin, name, text_scale, ink);
  draw_text(pic, margin, margin + line_height, subtitle, text_scale, ink);

  // The map: the northernmost row at the top, the westernmost column at the left.
  const bool north = rows_run_north(w.info), east = columns_run_east(w.info);
  const std::int64_t im = w.info.im, jm = w.info.jm;
  for (int y = 0; y < q.map_h; ++y) {
    const std::int64_t row = y * jm / q.map_h;
    const std::int64_t j = north ? jm - 1 - row : row;
    for (int x = 0; x < q.map_w; ++x) {
      const std::int64_t col = x * im / q.map_w;
      const std::int64_t i = east ? col : im - 1 - col;
      pic.set(q.map_x + x, q.map_y + y, colour_of(values[static_cast<std::size_t>(j * im + i)]));
    }
  }
  pic.frame(q.map_x - 1, q.map_y - 1, q.map_w + 2, q.map_h + 2, ink);

  // The colour bar, maximum at the top, with its two values beside it.
  const int label_x = q.bar_x + q.bar_w + 1 + 8;
  if (s.valid > 0) {
    for (int y = 0; y < q.bar_h; ++y) {
      const double f = q.bar_h > 1 ? static_cast<double>(y) / (q.bar_h - 1) : 0.0;
      const float v = static_cast<float>(s.max - (static_cast<double>(s.max) - s.min) * f);
      pic.fill(q.bar_x, q.bar_y + y, q.bar_w, 1, colour_of(v));
    }
    pic.frame(q.bar_x - 1, q.bar_y - 1, q.bar_w + 2, q.bar_h + 2, ink);
    draw_text(pic, label_x, q.bar_y, short_number(s.max, 5), text_scale, ink);
    draw_text(pic, label_x, q.bar_y + q.bar_h - glyph_height * text_scale, short_number(s.min, 5),
              text_scale, ink);
  } else {
    draw_text(pic, label_x, q.bar_y, "no data", text_scale, ink);
  }

  int y = q.map_y + std::max(q.map_h, q.bar_h) + 1 + 8;
  draw_text(pic, margin, y, extent, text_scale, ink);
  if (gaps > 0) {
    y += line_height;
    pic.fill(margin, y, glyph_height * text_scale, glyph_height * text_scale, missing_grey);
    draw_text(pic, margin + (glyph_height + 3) * text_scale, y, missing, text_scale, ink);
  }
  return pic;
}

void write_png(const raster& picture, const std::string& path) {
  staged_output out(path);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_RGB;
  const int ok = png_image_write_to_file(&image, out.temp_path().c_str(), 0, picture.pixels.data(),
                                         0, nullptr);
  const std::string message = image.message;
  png_image_free(&image);
  if (!ok) throw run_error(path + ": cannot write PNG file: " + message);
  out.commit();
}

}  // namespace c2m::inspect

#include "companion/inspect/png_export.hpp"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "companion/common/staged_output.hpp"
#include "companion/inspect/grid_axes.hpp"
#include "companion/inspect/number_text.hpp"

namespace c2m::inspect {

namespace {

constexpr rgb ink = {30, 30, 30};

bool is_valid(float v) {
  return std::isfinite(v) && v != missing_value;
}

struct surface_deleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct context_deleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using surface_ptr = std::unique_ptr<cairo_surface_t, surface_deleter>;
using context_ptr = std::unique_ptr<cairo_t, context_deleter>;

surface_ptr checked_surface(cairo_surface_t* s, const std::string& what) {
  surface_ptr p(s);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS)
    throw run_error(what + ": " + cairo_status_to_string(cairo_surface_status(s)));
  return p;
}

void set_colour(cairo_t* cr, rgb c) {
  cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
}

// The grid's extent in degrees, from the outer edges of its cells, and which way its
// rows and columns run.
struct map_frame {
  bool geographic = false;  // false: drawn point by point, without ticks
  double west = 0, east = 0, south = 0, north = 0;
  bool rows_north = true, columns_east = true;
};

map_frame frame_of(const grid_info& info) {
  map_frame f;
  grid_axes a;
  try {
    a = make_axes(info, "");
  } catch (const run_error&) {
    return f;
  }
  const auto edges = [](const std::vector<double>& v, double& low, double& high) {
    const double step = v.size() > 1 ? std::fabs(v.back() - v.front()) / (v.size() - 1) : 1.0;
    low = std::min(v.front(), v.back()) - step / 2;
    high = std::max(v.front(), v.back()) + step / 2;
  };
  edges(a.lon, f.west, f.east);
  edges(a.lat, f.south, f.north);
  f.south = std::max(f.south, -90.0);  // a polar row's cell ends at the pole
  f.north = std::min(f.north, 90.0);
  f.rows_north = a.rows_run_north();
  f.columns_east = a.columns_run_east();
  f.geographic = true;
  return f;
}

// A round step for about `most` labels across span: 1, 2, 2.5 or 5 times a power of ten.
double nice_step(double span, double most) {
  if (!(span > 0.0) || !(most >= 1.0)) return 1.0;
  const double raw = span / most;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 2.5, 5.0, 10.0})
    if (m * power >= raw) return m * power;
  return 10.0 * power;
}

// A step of degrees for about `most` labels across span: one that divides 360 and 90.
double degree_step(double span, double most) {
  for (const double step :
       {0.01, 0.02, 0.05, 0.1, 0.2, 0.25, 0.5, 1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 45.0, 90.0})
    if (span / step <= most) return step;
  return 180.0;
}

// Degrees as map labels: "30°N", "10.5°W", "0°"; longitudes taken to -180..180.
std::string degrees(double v, bool latitude) {
  if (!latitude) v = std::remainder(v, 360.0);
  if (std::fabs(v) < 1e-9) v = 0.0;
  if (!latitude && std::fabs(std::fabs(v) - 180.0) < 1e-9) return "180°";
  const std::string n = short_number(std::fabs(v), 6) + "°";
  if (v == 0.0) return n;
  return n + (latitude ? (v > 0 ? "N" : "S") : (v > 0 ? "E" : "W"));
}

struct text_box {
  double width = 0, ascent = 0;
};
text_box measure(cairo_t* cr, const std::string& text) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  return {e.x_advance, -e.y_bearing};
}

// Text with its reference point: ax = 0 left, 0.5 centred, 1 right; ay likewise from
// the top of the capital letters to their baseline.
void label(cairo_t* cr, double x, double y, const std::string& text, double ax, double ay) {
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  const double cap = fe.ascent * 0.72;
  cairo_move_to(cr, x - measure(cr, text).width * ax, y + cap * (1.0 - ay));
  cairo_show_text(cr, text.c_str());
}

// The picture's fixed measures for a font size f.
struct margins {
  double left, top, right, bottom;
};
margins margins_for(double f) {
  return {f * 5.5, f * 4.2, f * 8.5, f * 5.6};
}

// The record's values in the units shown, as the colour of each point.
class colouring {
 public:
  colouring(const colour_range& r, const display_scale& d) : r_(r), d_(d) {}
  rgb operator()(float v) const {
    if (!is_valid(v)) return missing_grey;
    return at(static_cast<double>(v) * d_.factor);
  }
  rgb at(double shown) const {
    const double t = r_.high > r_.low ? (shown - r_.low) / (r_.high - r_.low) : 0.5;
    return d_.diverging ? blue_white_red(t) : viridis(t);
  }

 private:
  colour_range r_;
  display_scale d_;
};

void draw_field(cairo_t* cr, const quicklook_layout& q, const work_file& w, const map_frame& frame,
                std::span<const float> values, const colouring& colour) {
  const int im = w.info.im, jm = w.info.jm;
  surface_ptr image = checked_surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, im, jm),
                                      "cannot allocate the picture");
  cairo_surface_flush(image.get());
  unsigned char* data = cairo_image_surface_get_data(image.get());
  const int stride = cairo_image_surface_get_stride(image.get());
  for (int y = 0; y < jm; ++y) {
    const std::size_t j = static_cast<std::size_t>(frame.rows_north ? jm - 1 - y : y);
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < im; ++x) {
      const std::size_t i = static_cast<std::size_t>(frame.columns_east ? x : im - 1 - x);
      const rgb c = colour(values[j * static_cast<std::size_t>(im) + i]);
      row[x] = (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
    }
  }
  cairo_surface_mark_dirty(image.get());
  cairo_save(cr);
  cairo_rectangle(cr, q.map_x, q.map_y, q.map_w, q.map_h);
  cairo_clip(cr);
  cairo_translate(cr, q.map_x, q.map_y);
  cairo_scale(cr, q.map_w / im, q.map_h / jm);
  cairo_set_source_surface(cr, image.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_restore(cr);
}

// The coastline: the edges between neighbouring points of which the land-sea mask makes
// one land (1) and the other sea (0).
void draw_coast(cairo_t* cr, const quicklook_layout& q, const work_file& w,
                const map_frame& frame) {
  const std::vector<record_id> records = list_records(w.info);
  const auto mask = std::find_if(records.begin(), records.end(), [](const record_id& r) {
    return r.field->standard_name == "land_binary_mask";
  });
  if (mask == records.end()) return;
  const std::span<const float> m = w.record(mask->number);
  const int im = w.info.im, jm = w.info.jm;
  const auto land = [&](int x, int y) {  // picture column and row: 1 land, 0 sea, -1 other
    const std::size_t j = static_cast<std::size_t>(frame.rows_north ? jm - 1 - y : y);
    const std::size_t i = static_cast<std::size_t>(frame.columns_east ? x : im - 1 - x);
    const float v = m[j * static_cast<std::size_t>(im) + i];
    return v == 1.0f ? 1 : v == 0.0f ? 0 : -1;
  };
  const double cw = q.map_w / im, ch = q.map_h / jm;
  bool any = false;
  for (int y = 0; y < jm; ++y)
    for (int x = 0; x < im; ++x) {
      const int here = land(x, y);
      if (here < 0) continue;
      if (x + 1 < im && land(x + 1, y) == 1 - here) {
        cairo_move_to(cr, q.map_x + (x + 1) * cw, q.map_y + y * ch);
        cairo_rel_line_to(cr, 0, ch);
        any = true;
      }
      if (y + 1 < jm && land(x, y + 1) == 1 - here) {
        cairo_move_to(cr, q.map_x + x * cw, q.map_y + (y + 1) * ch);
        cairo_rel_line_to(cr, cw, 0);
        any = true;
      }
    }
  if (!any) return;
  cairo_save(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, std::max(1.0, q.font / 10.0));
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void draw_ticks(cairo_t* cr, const quicklook_layout& q, const map_frame& frame) {
  const double tick = q.font * 0.4;
  cairo_set_line_width(cr, 1.0);
  // Longitudes along the bottom, latitudes along the left, labels a tick away.
  const double lon_span = frame.east - frame.west, lat_span = frame.north - frame.south;
  const double lon_step = degree_step(lon_span, q.map_w / (q.font * 5.0));
  const double lat_step = degree_step(lat_span, q.map_h / (q.font * 2.5));
  for (double v = std::ceil(frame.west / lon_step - 1e-9) * lon_step; v <= frame.east + 1e-9;
       v += lon_step) {
    const double x = q.map_x + (v - frame.west) / lon_span * q.map_w;
    cairo_move_to(cr, x, q.map_y + q.map_h);
    cairo_rel_line_to(cr, 0, tick);
    label(cr, x, q.map_y + q.map_h + tick * 2, degrees(v, false), 0.5, 0.0);
  }
  for (double v = std::ceil(frame.south / lat_step - 1e-9) * lat_step; v <= frame.north + 1e-9;
       v += lat_step) {
    const double y = q.map_y + (frame.north - v) / lat_span * q.map_h;
    cairo_move_to(cr, q.map_x, y);
    cairo_rel_line_to(cr, -tick, 0);
    label(cr, q.map_x - tick * 2, y, degrees(v, true), 1.0, 0.5);
  }
  cairo_stroke(cr);
}

void draw_bar(cairo_t* cr, const quicklook_layout& q, const colour_range& r,
              const colouring& colour, const display_scale& d) {
  const double label_x = q.bar_x + q.bar_w + q.font * 0.6;
  if (r.valid == 0) {
    label(cr, q.bar_x, q.bar_y, "no data", 0.0, 0.0);
    return;
  }
  if (!(r.high > r.low)) {
    set_colour(cr, colour.at(r.low));
    cairo_rectangle(cr, q.bar_x, q.bar_y + q.bar_h / 2 - q.bar_w, q.bar_w, 2 * q.bar_w);
    cairo_fill(cr);
    set_colour(cr, ink);
    label(cr, label_x, q.bar_y + q.bar_h / 2, short_number(r.low, 6), 0.0, 0.5);
    label(cr, q.bar_x, q.bar_y + q.bar_h / 2 + q.bar_w * 1.6, "constant", 0.0, 0.0);
    return;
  }
  // One strip per pixel row, the high end at the top.
  const int rows = std::max(1, static_cast<int>(std::lround(q.bar_h)));
  for (int k = 0; k < rows; ++k) {
    const double shown = r.high - (r.high - r.low) * (k + 0.5) / rows;
    set_colour(cr, colour.at(shown));
    cairo_rectangle(cr, q.bar_x, q.bar_y + q.bar_h * k / rows, q.bar_w, q.bar_h / rows + 0.5);
    cairo_fill(cr);
  }
  // Triangles at the ends where points lie outside the range.
  const auto arrow = [&](double y_base, double dir, double shown) {
    set_colour(cr, colour.at(shown));
    cairo_move_to(cr, q.bar_x, y_base);
    cairo_line_to(cr, q.bar_x + q.bar_w / 2, y_base + dir * q.bar_w * 0.8);
    cairo_line_to(cr, q.bar_x + q.bar_w, y_base);
    cairo_close_path(cr);
    cairo_fill_preserve(cr);
    set_colour(cr, ink);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
  };
  if (r.above > 0) arrow(q.bar_y, -1.0, r.high);
  if (r.below > 0) arrow(q.bar_y + q.bar_h, 1.0, r.low);
  set_colour(cr, ink);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, q.bar_x, q.bar_y, q.bar_w, q.bar_h);
  cairo_stroke(cr);
  const double step = nice_step(r.high - r.low, std::max(2.0, q.bar_h / (q.font * 3.0)));
  for (double v = std::ceil(r.low / step - 1e-9) * step; v <= r.high + step * 1e-9; v += step) {
    const double shown = std::fabs(v) < step * 1e-9 ? 0.0 : v;
    const double y = q.bar_y + (r.high - shown) / (r.high - r.low) * q.bar_h;
    cairo_move_to(cr, q.bar_x + q.bar_w, y);
    cairo_rel_line_to(cr, q.font * 0.3, 0);
    cairo_stroke(cr);
    label(cr, label_x, y, short_number(shown, 6), 0.0, 0.5);
  }
  if (!d.units.empty()) label(cr, q.bar_x, q.bar_y - q.font * 0.9, d.units, 0.0, 1.0);
}

}  // namespace

display_scale display_of(const field_desc& f) {
  if (f.standard_name == "specific_humidity") return {1000.0, "g/kg", false};
  const bool wind = f.standard_name == "eastward_wind" || f.standard_name == "northward_wind";
  return {1.0, f.units, wind};
}

colour_range choose_range(std::span<const float> values, const display_scale& d,
                          const picture_options& options, const plausible_range& plausible) {
  std::vector<double> shown, outside;
  for (const float v : values) {
    if (!is_valid(v)) continue;
    const bool fits =
        !plausible.checked || plausible.mask || (v >= plausible.low && v <= plausible.high);
    (fits ? shown : outside).push_back(static_cast<double>(v) * d.factor);
  }
  colour_range r;
  r.valid = shown.size() + outside.size();
  if (r.valid == 0) return r;
  // Implausible values (0 K left in a soil temperature) are flagged by stats; the colours
  // are for the rest, unless nothing else is there.
  if (shown.empty()) shown.swap(outside);
  r.trimmed = !outside.empty();
  std::sort(shown.begin(), shown.end());
  const std::size_t n = shown.size();
  double low = shown.front(), high = shown.back();
  // A few points far beyond the percentiles are outliers: the rest decide the colours.
  const std::size_t tail = n / 200;
  const double p_low = shown[tail], p_high = shown[n - 1 - tail];
  const double spread = p_high - p_low;
  if (spread > 0.0) {
    if (low < p_low - spread / 4) low = p_low, r.trimmed = true;
    if (high > p_high + spread / 4) high = p_high, r.trimmed = true;
  }
  if (d.diverging) {
    const double m = std::max(std::fabs(low), std::fabs(high));
    low = -m;
    high = m;
  }
  if (options.min) low = *options.min;
  if (options.max) high = *options.max;
  if (options.min && !options.max && high < low) high = low;
  if (options.max && !options.min && low > high) low = high;
  r.low = low;
  r.high = high;
  for (const std::vector<double>* all : {&shown, &outside})
    for (const double v : *all) {
      if (v < low) ++r.below;
      if (v > high) ++r.above;
    }
  return r;
}

quicklook_layout plan_quicklook(const grid_info& info) {
  const map_frame frame = frame_of(info);
  const double aspect = frame.geographic ? (frame.east - frame.west) / (frame.north - frame.south)
                                         : static_cast<double>(info.im) / info.jm;
  const double longest = std::clamp<double>(std::max(info.im, info.jm), 720.0, 1440.0);
  quicklook_layout q;
  q.map_w = aspect >= 1.0 ? longest : std::max(60.0, longest * aspect);
  q.map_h = aspect >= 1.0 ? std::max(60.0, longest / aspect) : longest;
  q.map_w = std::round(q.map_w);
  q.map_h = std::round(q.map_h);
  q.font = std::clamp(std::max(q.map_w, q.map_h) / 55.0, 13.0, 24.0);
  const margins m = margins_for(q.font);
  q.map_x = m.left;
  q.map_y = m.top;
  q.bar_w = std::round(q.font * 1.2);
  q.bar_x = std::round(q.map_x + q.map_w + q.font * 1.5);
  q.bar_h = std::max(q.map_h, q.font * 12.0);
  q.bar_y = q.map_y;
  q.width = static_cast<int>(q.bar_x + q.bar_w + m.right);
  q.height = static_cast<int>(q.map_y + q.bar_h + m.bottom);
  return q;
}

namespace {

context_ptr checked_context(cairo_surface_t* s, const std::string& what) {
  context_ptr cr(cairo_create(s));
  if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
    throw run_error(what + ": " + cairo_status_to_string(cairo_status(cr.get())));
  return cr;
}

void use_font(cairo_t* cr, double size, bool bold) {
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

// The words around the map: what it is, where it comes from, and what the colours leave out.
struct picture_texts {
  std::string title, subtitle, footer, missing;
  std::size_t gaps = 0;
};

std::string range_note(const colour_range& range, const picture_options& options) {
  if (range.valid == 0) return "";
  if (!(range.high > range.low)) return "every valid point is " + short_number(range.low, 6);
  std::string note =
      "colours from " + short_number(range.low, 6) + " to " + short_number(range.high, 6);
  if (options.min || options.max)
    note += " as asked";
  else if (range.trimmed)
    note += ", leaving out outlying or implausible values";
  if (range.below + range.above > 0)
    note += " (" + std::to_string(range.below) + " points below, " + std::to_string(range.above) +
            " above)";
  return note;
}

picture_texts texts_of(const work_file& w, const record_id& r, const display_scale& d,
                       const colour_range& range, const picture_options& options, bool geographic) {
  picture_texts t;
  t.title = r.field->long_name;
  if (!d.units.empty()) t.title += " (" + d.units + ")";
  t.subtitle = display_name(*r.field);
  if (r.level > 0)
    t.subtitle += ", level " + std::to_string(r.level) + " of " + std::to_string(w.info.lm) + ", " +
                  short_number(r.pressure_hpa) + " hPa";
  else
    t.subtitle += ", surface field";
  t.subtitle += "   " + w.path;
  const std::size_t points = w.record(r.number).size();
  t.gaps = points - range.valid;
  t.footer = geographic ? "" : "not a latitude/longitude grid: drawn point by point";
  const std::string note = range_note(range, options);
  if (!note.empty()) t.footer += std::string(t.footer.empty() ? "" : "; ") + note;
  t.missing = "missing: " + std::to_string(t.gaps) + " of " + std::to_string(points) + " points";
  return t;
}

// The texts decide the width where they are longer than the map.
int picture_width(const quicklook_layout& q, const picture_texts& t) {
  const surface_ptr probe = checked_surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1),
                                            "cannot allocate the picture");
  const context_ptr cr = checked_context(probe.get(), "cannot allocate the picture");
  use_font(cr.get(), q.font * 1.15, true);
  int width =
      std::max(q.width, static_cast<int>(q.map_x + measure(cr.get(), t.title).width + q.font));
  use_font(cr.get(), q.font, false);
  for (const std::string& text : {t.subtitle, t.footer, t.missing})
    width = std::max(width, static_cast<int>(q.map_x + measure(cr.get(), text).width + 3 * q.font));
  return width;
}

void draw_texts(cairo_t* cr, const quicklook_layout& q, const picture_texts& t) {
  set_colour(cr, ink);
  use_font(cr, q.font * 1.15, true);
  label(cr, q.map_x, q.font * 0.8, t.title, 0.0, 0.0);
  use_font(cr, q.font, false);
  label(cr, q.map_x, q.font * 2.5, t.subtitle, 0.0, 0.0);
}

void draw_footer(cairo_t* cr, const quicklook_layout& q, const picture_texts& t) {
  set_colour(cr, ink);
  double y = q.map_y + std::max(q.map_h, q.bar_h) + q.font * 2.6;
  if (!t.footer.empty()) {
    label(cr, q.map_x, y, t.footer, 0.0, 0.0);
    y += q.font * 1.5;
  }
  if (t.gaps == 0) return;
  set_colour(cr, missing_grey);
  cairo_rectangle(cr, q.map_x, y, q.font * 0.8, q.font * 0.8);
  cairo_fill(cr);
  set_colour(cr, ink);
  label(cr, q.map_x + q.font * 1.3, y, t.missing, 0.0, 0.0);
}

void write_png(cairo_surface_t* surface, const std::string& path) {
  cairo_surface_flush(surface);
  staged_output out(path);
  const cairo_status_t status = cairo_surface_write_to_png(surface, out.temp_path().c_str());
  if (status != CAIRO_STATUS_SUCCESS)
    throw run_error(path + ": cannot write PNG file: " + cairo_status_to_string(status));
  out.commit();
}

}  // namespace

void write_quicklook(const work_file& w, const record_id& r, const picture_options& options,
                     const std::string& path) {
  const quicklook_layout q = plan_quicklook(w.info);
  const map_frame frame = frame_of(w.info);
  const std::span<const float> values = w.record(r.number);
  const display_scale d = display_of(*r.field);
  const colour_range range = choose_range(values, d, options, r.field->range);
  const colouring colour(range, d);
  const picture_texts texts = texts_of(w, r, d, range, options, frame.geographic);

  const surface_ptr surface = checked_surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture_width(q, texts), q.height),
      path + ": cannot allocate the picture");
  const context_ptr owner = checked_context(surface.get(), path + ": cannot draw the picture");
  cairo_t* cr = owner.get();
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);

  draw_field(cr, q, w, frame, values, colour);
  draw_coast(cr, q, w, frame);
  set_colour(cr, ink);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, q.map_x - 0.5, q.map_y - 0.5, q.map_w + 1, q.map_h + 1);
  cairo_stroke(cr);
  draw_texts(cr, q, texts);
  if (frame.geographic) draw_ticks(cr, q, frame);
  draw_bar(cr, q, range, colour, d);
  draw_footer(cr, q, texts);

  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS)
    throw run_error(path +
                    ": cannot draw the picture: " + cairo_status_to_string(cairo_status(cr)));
  write_png(surface.get(), path);
}

}  // namespace c2m::inspect

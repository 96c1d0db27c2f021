#include "companion/inspect/map_panel.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "common/field_slots.hpp"
#include "companion/common/number_text.hpp"
#include "companion/inspect/drawing.hpp"
#include "companion/inspect/grid_axes.hpp"

namespace c2m::inspect {

namespace {

bool is_valid(float v) {
  return std::isfinite(v) && v != missing_value;
}

// The grid's extent in degrees, from the outer edges of its cells, and which way its
// rows and columns run.
struct map_frame {
  bool geographic = false;  // false: drawn point by point, without ticks
  double west = 0, east = 0, south = 0, north = 0;
  bool rows_north = true, columns_east = true;
};

map_frame frame_of(const companion::grid_info& info) {
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
  const std::string n = companion::short_number(std::fabs(v), 6) + "°";
  if (v == 0.0) return n;
  return n + (latitude ? (v > 0 ? "N" : "S") : (v > 0 ? "E" : "W"));
}

double units_baseline(const quicklook_layout& q) {
  return q.bar_y - bar_arrow_height(q) - q.font * 0.6;
}

// The values in the units shown, as the colour of each point.
class colouring {
 public:
  colouring(const colour_range& r, const display_scale& d, field_look look)
      : r_(r), d_(d), look_(look) {}
  rgb operator()(float v) const {
    if (!is_valid(v)) return missing_grey;
    if (look_ == field_look::classes) return v < 0.5f ? sea_colour : land_colour;
    return at(static_cast<double>(v) * d_.factor);
  }
  rgb at(double shown) const {
    const double t = r_.high > r_.low ? (shown - r_.low) / (r_.high - r_.low) : 0.5;
    return d_.diverging ? blue_white_red(t) : viridis(t);
  }

 private:
  colour_range r_;
  display_scale d_;
  field_look look_;
};

void draw_field(cairo_t* cr, const quicklook_layout& q, const companion::work_file& w,
                const map_frame& frame, std::span<const float> values, const colouring& colour,
                const std::vector<bool>& sea) {
  const int im = w.info.im, jm = w.info.jm;
  const surface_ptr image = image_surface(im, jm, "cannot allocate the picture");
  cairo_surface_flush(image.get());
  unsigned char* data = cairo_image_surface_get_data(image.get());
  const int stride = cairo_image_surface_get_stride(image.get());
  for (int y = 0; y < jm; ++y) {
    const std::size_t j = static_cast<std::size_t>(frame.rows_north ? jm - 1 - y : y);
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < im; ++x) {
      const std::size_t i = static_cast<std::size_t>(frame.columns_east ? x : im - 1 - x);
      const std::size_t p = j * static_cast<std::size_t>(im) + i;
      const rgb c = !sea.empty() && sea[p] ? sea_grey : colour(values[p]);
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
void draw_coast(cairo_t* cr, const quicklook_layout& q, const companion::work_file& w,
                const map_frame& frame) {
  const std::vector<companion::record_id> records = companion::list_records(w.info);
  const auto mask = std::find_if(records.begin(), records.end(), [](const companion::record_id& r) {
    return companion::is(*r.field, slots::work_2d(slots::land_sea_mask));
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

void draw_bar_ticks(cairo_t* cr, const quicklook_layout& q, const colour_range& r, double label_x) {
  const double step = nice_step(r.high - r.low, std::max(2.0, q.bar_h / (q.font * 3.0)));
  for (double v = std::ceil(r.low / step - 1e-9) * step; v <= r.high + step * 1e-9; v += step) {
    const double shown = std::fabs(v) < step * 1e-9 ? 0.0 : v;
    const double y = q.bar_y + (r.high - shown) / (r.high - r.low) * q.bar_h;
    cairo_move_to(cr, q.bar_x + q.bar_w, y);
    cairo_rel_line_to(cr, q.font * 0.3, 0);
    cairo_stroke(cr);
    label(cr, label_x, y, companion::short_number(shown, 6), 0.0, 0.5);
  }
}

void draw_bar(cairo_t* cr, const quicklook_layout& q, const colour_range& r,
              const colouring& colour, const display_scale& d) {
  set_colour(cr, ink);
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
    label(cr, label_x, q.bar_y + q.bar_h / 2, companion::short_number(r.low, 6), 0.0, 0.5);
    const bool constant = r.below + r.above == 0;  // else a range given, points beyond it
    label(cr, q.bar_x, q.bar_y + q.bar_h / 2 + q.bar_w * 1.6, constant ? "constant" : "as asked",
          0.0, 0.0);
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
    cairo_line_to(cr, q.bar_x + q.bar_w / 2, y_base + dir * bar_arrow_height(q));
    cairo_line_to(cr, q.bar_x + q.bar_w, y_base);
    cairo_close_path(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_BEVEL);  // a mitre would spike past the tip
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
  draw_bar_ticks(cr, q, r, label_x);
  // Above the bar's end triangle, never on it.
  if (!d.units.empty()) label(cr, q.bar_x, units_baseline(q), d.units, 0.0, 1.0);
}

// Two classes, two boxes: land above sea, as on the bar of the other fields.
void draw_legend(cairo_t* cr, const quicklook_layout& q) {
  const double box = q.bar_w;
  const struct {
    rgb colour;
    const char* name;
  } classes[] = {{land_colour, "land (1)"}, {sea_colour, "sea (0)"}};
  double y = q.bar_y;
  for (const auto& c : classes) {
    set_colour(cr, c.colour);
    cairo_rectangle(cr, q.bar_x, y, box, box);
    cairo_fill_preserve(cr);
    set_colour(cr, ink);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    label(cr, q.bar_x + box + q.font * 0.6, y + box / 2, c.name, 0.0, 0.5);
    y += box + q.font;
  }
}

// The sea of the work file's land-sea mask, point by point; empty without a mask.
std::vector<bool> sea_points(const companion::work_file& w) {
  for (const companion::record_id& r : companion::list_records(w.info)) {
    if (!companion::is(*r.field, slots::work_2d(slots::land_sea_mask))) continue;
    const std::span<const float> m = w.record(r.number);
    std::vector<bool> sea(m.size());
    for (std::size_t p = 0; p < m.size(); ++p) sea[p] = m[p] == 0.0f;
    return sea;
  }
  return {};
}

}  // namespace

double bar_arrow_height(const quicklook_layout& q) {
  return q.bar_w * 0.8;
}

field_look look_of(const companion::field_desc& f) {
  if (f.range.mask) return field_look::classes;
  if (companion::defined_over_land_only(f)) return field_look::land_only;
  return field_look::scale;
}

display_scale display_of(const companion::field_desc& f) {
  if (companion::is(f, slots::work_3d(slots::humidity))) return {1000.0, "g/kg", false};
  const bool wind = companion::is(f, slots::work_3d(slots::eastward_wind)) ||
                    companion::is(f, slots::work_3d(slots::northward_wind));
  return {1.0, f.units, wind};
}

colour_range choose_range(std::span<const float> values, const display_scale& d,
                          const picture_options& options,
                          const companion::plausible_range& plausible) {
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

quicklook_layout layout_at(const companion::grid_info& info, double longest, double font, double x,
                           double y, double top, double bottom) {
  const map_frame frame = frame_of(info);
  const double aspect = frame.geographic ? (frame.east - frame.west) / (frame.north - frame.south)
                                         : static_cast<double>(info.im) / info.jm;
  quicklook_layout q;
  q.map_w = std::round(aspect >= 1.0 ? longest : std::max(60.0, longest * aspect));
  q.map_h = std::round(aspect >= 1.0 ? std::max(60.0, longest / aspect) : longest);
  q.font = font > 0 ? font : std::clamp(std::max(q.map_w, q.map_h) / 55.0, 13.0, 24.0);
  q.map_x = std::round(x + q.font * 5.5);
  q.map_y = std::round(y + q.font * top);
  q.bar_w = std::round(q.font * 1.2);
  q.bar_x = std::round(q.map_x + q.map_w + q.font * 1.5);
  q.bar_h = std::max(q.map_h, q.font * 12.0);
  q.bar_y = q.map_y;
  q.width = static_cast<int>(q.bar_x + q.bar_w + q.font * 8.5 - x);
  q.height = static_cast<int>(q.map_y + q.bar_h + q.font * bottom - y);
  return q;
}

quicklook_layout plan_quicklook(const companion::grid_info& info) {
  const double longest = std::clamp<double>(std::max(info.im, info.jm), 720.0, 1440.0);
  return layout_at(info, longest, 0.0, 0.0, 0.0, 5.8, 5.6);
}

panel_result draw_map_panel(cairo_t* cr, const quicklook_layout& q, const companion::work_file& w,
                            std::span<const float> values, const companion::field_desc& f,
                            const picture_options& options) {
  const map_frame frame = frame_of(w.info);
  const field_look look = look_of(f);
  const display_scale d = display_of(f);
  panel_result result;
  std::vector<bool> sea;
  std::vector<float> land;  // the points the colours are chosen from, when not all
  if (look == field_look::land_only) sea = sea_points(w);
  for (std::size_t p = 0; p < sea.size(); ++p) {
    if (sea[p])
      ++result.sea;
    else
      land.push_back(values[p]);
  }
  result.range = choose_range(sea.empty() ? values : std::span<const float>(land), d, options,
                              look == field_look::classes ? companion::plausible_range{} : f.range);
  if (look == field_look::classes) {  // two classes: sea below one half, land above
    result.range.low = 0.0;
    result.range.high = 1.0;
  }
  const colouring colour(result.range, d, look);
  use_font(cr, q.font, false);
  draw_field(cr, q, w, frame, values, colour, sea);
  draw_coast(cr, q, w, frame);
  set_colour(cr, ink);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, q.map_x - 0.5, q.map_y - 0.5, q.map_w + 1, q.map_h + 1);
  cairo_stroke(cr);
  if (frame.geographic) draw_ticks(cr, q, frame);
  if (look == field_look::classes)
    draw_legend(cr, q);
  else
    draw_bar(cr, q, result.range, colour, d);
  result.geographic = frame.geographic;
  return result;
}

}  // namespace c2m::inspect

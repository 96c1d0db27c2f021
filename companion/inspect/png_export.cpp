#include "companion/inspect/png_export.hpp"

#include <algorithm>

#include "companion/common/number_text.hpp"
#include "companion/inspect/drawing.hpp"

namespace c2m::inspect {

namespace {

// The footer's numbers: enough figures to read, not the float's noise.
constexpr int footer_digits = 4;

std::string range_note(const colour_range& range, const picture_options& options) {
  if (range.valid == 0) return "";
  if (!(range.high > range.low) && range.below + range.above == 0)
    return "every valid point is " + companion::short_number(range.low, footer_digits);
  std::string note = "colours from " + companion::short_number(range.low, footer_digits) + " to " +
                     companion::short_number(range.high, footer_digits);
  if (options.min || options.max)
    note += " as asked";
  else if (range.trimmed)
    note += ", leaving out outlying or implausible values";
  if (range.below + range.above > 0)
    note += " (" + std::to_string(range.below) + " points below, " + std::to_string(range.above) +
            " above)";
  return note;
}

std::string subtitle_of(const companion::work_file& w, const companion::record_id& r,
                        const picture_options& options) {
  std::string subtitle = companion::display_name(*r.field);
  if (r.level > 0)
    subtitle += ", level " + std::to_string(r.level) + " of " + std::to_string(w.info.lm) + ", " +
                companion::short_number(r.pressure_hpa) + " hPa";
  else
    subtitle += ", surface field";
  if (options.time) subtitle += ", analysis " + time_text(*options.time, " ", false) + " UTC";
  return subtitle + "   " + w.path;
}

// The texts decide the width where they are longer than the map.
int picture_width(const quicklook_layout& q, const picture_texts& t) {
  const surface_ptr probe = image_surface(1, 1, "cannot allocate the picture");
  const context_ptr cr = drawing_context(probe.get(), "cannot allocate the picture");
  use_font(cr.get(), q.font * 1.15, true);
  int width =
      std::max(q.width, static_cast<int>(q.map_x + measure(cr.get(), t.title).width + q.font));
  use_font(cr.get(), q.font, false);
  for (const std::string& text : {t.subtitle, t.footer, t.missing, t.sea})
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
  // A box of the colour, then what it means.
  double x = q.map_x;
  for (const auto& [colour, text] :
       {std::pair{missing_grey, t.missing}, std::pair{sea_grey, t.sea}}) {
    if (text.empty()) continue;
    set_colour(cr, colour);
    cairo_rectangle(cr, x, y, q.font * 0.8, q.font * 0.8);
    cairo_fill_preserve(cr);
    set_colour(cr, ink);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    label(cr, x + q.font * 1.3, y, text, 0.0, 0.0);
    x += q.font * 3.0 + measure(cr, text).width;
  }
}

}  // namespace

picture_texts quicklook_texts(const companion::work_file& w, const companion::record_id& r,
                              const panel_result& panel, const picture_options& options) {
  picture_texts t;
  const display_scale d = display_of(*r.field);
  t.title = r.field->long_name;
  if (!d.units.empty()) t.title += " (" + d.units + ")";
  t.subtitle = subtitle_of(w, r, options);
  t.footer = panel.geographic ? "" : "not a latitude/longitude grid: drawn point by point";
  const std::string note =
      look_of(*r.field) == field_look::classes ? "" : range_note(panel.range, options);
  if (!note.empty()) t.footer += std::string(t.footer.empty() ? "" : "; ") + note;
  const std::size_t points = w.points(), gaps = points - panel.range.valid - panel.sea;
  if (gaps > 0)
    t.missing = "missing: " + std::to_string(gaps) + " of " + std::to_string(points) + " points";
  if (panel.sea > 0) t.sea = "sea, where the field is not defined";
  return t;
}

void write_quicklook(const companion::work_file& w, const companion::record_id& r,
                     const picture_options& options, const std::string& path) {
  const quicklook_layout q = plan_quicklook(w.info);
  const std::span<const float> values = w.record(r.number);
  // The panel is drawn first on a surface as wide as the map needs; the texts, which may
  // need more, are measured once the panel has told what it left out.
  const surface_ptr map = image_surface(q.width, q.height, path + ": cannot allocate the picture");
  const context_ptr map_cr = drawing_context(map.get(), path + ": cannot draw the picture");
  cairo_set_source_rgb(map_cr.get(), 1, 1, 1);
  cairo_paint(map_cr.get());
  const panel_result panel = draw_map_panel(map_cr.get(), q, w, values, *r.field, options);
  check_drawing(map_cr.get(), path + ": cannot draw the picture");
  const picture_texts texts = quicklook_texts(w, r, panel, options);

  const surface_ptr surface =
      image_surface(picture_width(q, texts), q.height, path + ": cannot allocate the picture");
  const context_ptr owner = drawing_context(surface.get(), path + ": cannot draw the picture");
  cairo_t* cr = owner.get();
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_source_surface(cr, map.get(), 0, 0);
  cairo_paint(cr);
  draw_texts(cr, q, texts);
  draw_footer(cr, q, texts);
  check_drawing(cr, path + ": cannot draw the picture");
  write_png(surface.get(), path);
}

}  // namespace c2m::inspect

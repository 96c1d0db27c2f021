#include "companion/inspect/overview.hpp"

#include <algorithm>
#include <cmath>

#include "common/constants.hpp"
#include "common/field_slots.hpp"
#include "companion/common/number_text.hpp"
#include "companion/inspect/drawing.hpp"

namespace c2m::inspect {

namespace {

constexpr double standard_hpa[] = {850.0, 500.0, 250.0};
constexpr int columns = 3;
constexpr double panel_map = 360.0;  // the longer side of each map, in pixels
constexpr double panel_font = 11.0;

// One map of the overview: the values, what they are, and its title.
struct panel_content {
  std::vector<float> values;
  companion::field_desc field;
  std::string title;
};

std::string panel_title(const companion::field_desc& f, float hpa) {
  std::string title = f.long_name;
  if (hpa > 0.0f) title += ", " + companion::short_number(hpa) + " hPa";
  const display_scale d = display_of(f);
  return d.units.empty() ? title : title + " (" + d.units + ")";
}

panel_content record_panel(const companion::work_file& w, std::string_view name,
                           std::int32_t level) {
  const companion::record_id r = companion::find_record(w.info, name, level);
  const std::span<const float> v = w.record(r.number);
  return {std::vector<float>(v.begin(), v.end()), *r.field,
          panel_title(*r.field, level > 0 ? r.pressure_hpa : 0.0f)};
}

companion::field_desc wind_speed_field() {
  companion::field_desc f;
  f.short_name = "wspd";
  f.long_name = "Wind speed";
  f.units = "m/s";
  f.cf_units = "m s-1";
  f.standard_name = "wind_speed";
  return f;
}

std::vector<panel_content> panels_of(const companion::work_file& w) {
  std::vector<panel_content> panels;
  for (const std::int32_t k :
       {slots::land_sea_mask, slots::sea_level_pressure, slots::surface_pressure, slots::orography,
        slots::soil_temperature(1), slots::soil_moisture(1)})
    panels.push_back(record_panel(w, slots::work_2d(k).name, 0));
  for (const std::int32_t level : overview_levels(w.info)) {
    panels.push_back(record_panel(w, slots::work_3d(slots::air_temperature).name, level));
    panels.push_back(record_panel(w, slots::work_3d(slots::geopotential_height).name, level));
    const companion::record_id u = companion::find_record(
                                   w.info, slots::work_3d(slots::eastward_wind).name, level),
                               v = companion::find_record(
                                   w.info, slots::work_3d(slots::northward_wind).name, level);
    const companion::field_desc speed = wind_speed_field();
    panels.push_back({wind_speed(w.record(u.number), w.record(v.number)), speed,
                      panel_title(speed, u.pressure_hpa)});
  }
  return panels;
}

std::string grid_text(const companion::grid_info& info) {
  std::string text = std::to_string(info.im) + " x " + std::to_string(info.jm) + " points, " +
                     std::to_string(info.lm) + (info.lm == 1 ? " level" : " levels");
  if (!info.pressure_pa.empty())
    text += " from " + companion::short_number(info.pressure_pa.front() / 100.0f) + " to " +
            companion::short_number(info.pressure_pa.back() / 100.0f) + " hPa";
  return text;
}

void draw_header(cairo_t* cr, const companion::work_file& w, const picture_options& options,
                 double font) {
  set_colour(cr, ink);
  use_font(cr, font * 1.4, true);
  label(cr, font * 1.5, font * 0.9, "conv2model work file " + w.path, 0.0, 0.0);
  use_font(cr, font * 1.15, false);
  const std::string when = options.time
                               ? "analysis " + time_text(*options.time, " ", false) + " UTC"
                               : "analysis time not given (--time)";
  label(cr, font * 1.5, font * 3.0, when + ";  " + grid_text(w.info), 0.0, 0.0);
}

// The boxes that say what grey means, below the panels.
void draw_key(cairo_t* cr, double x, double y, double font) {
  use_font(cr, font, false);
  for (const auto& [colour, text] :
       {std::pair{missing_grey, "missing (-99999, NaN, infinite)"},
        std::pair{sea_grey, "sea, where a field is defined over land only"}}) {
    set_colour(cr, colour);
    cairo_rectangle(cr, x, y, font * 0.9, font * 0.9);
    cairo_fill_preserve(cr);
    set_colour(cr, ink);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    label(cr, x + font * 1.4, y, text, 0.0, 0.0);
    x += font * 3.0 + measure(cr, text).width;
  }
}

}  // namespace

std::vector<std::int32_t> overview_levels(const companion::grid_info& info) {
  std::vector<std::int32_t> levels;
  for (const double hpa : standard_hpa) {
    std::int32_t best = 0;
    for (std::int32_t l = 1; l <= info.lm; ++l) {
      const double here =
          std::fabs(info.pressure_pa[static_cast<std::size_t>(l - 1)] / 100.0 - hpa);
      if (best == 0 ||
          here < std::fabs(info.pressure_pa[static_cast<std::size_t>(best - 1)] / 100.0 - hpa))
        best = l;
    }
    if (best > 0 && std::find(levels.begin(), levels.end(), best) == levels.end())
      levels.push_back(best);
  }
  return levels;
}

std::vector<float> wind_speed(std::span<const float> u, std::span<const float> v) {
  std::vector<float> speed(u.size());
  for (std::size_t p = 0; p < u.size(); ++p) {
    const bool valid = std::isfinite(u[p]) && std::isfinite(v[p]) && u[p] != missing_value &&
                       v[p] != missing_value;
    speed[p] = valid ? std::sqrt(u[p] * u[p] + v[p] * v[p]) : missing_value;
  }
  return speed;
}

void write_overview(const companion::work_file& w, const picture_options& options,
                    const std::string& path) {
  const std::vector<panel_content> panels = panels_of(w);
  const double header = panel_font * 5.0;
  const quicklook_layout first = layout_at(w.info, panel_map, panel_font, 0, 0, 2.6, 2.8);
  const int rows = (static_cast<int>(panels.size()) + columns - 1) / columns;
  const int width = std::max(columns * first.width, static_cast<int>(panel_font * 60));
  const int height = static_cast<int>(header + rows * first.height + panel_font * 3.0);

  const surface_ptr surface = image_surface(width, height, path + ": cannot allocate the picture");
  const context_ptr owner = drawing_context(surface.get(), path + ": cannot draw the picture");
  cairo_t* cr = owner.get();
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  draw_header(cr, w, options, panel_font);
  picture_options colours;  // every panel takes its own range
  for (std::size_t k = 0; k < panels.size(); ++k) {
    const double x = static_cast<double>(k % columns) * first.width;
    const double y = header + static_cast<double>(k / columns) * first.height;
    const quicklook_layout q = layout_at(w.info, panel_map, panel_font, x, y, 2.6, 2.8);
    draw_map_panel(cr, q, w, panels[k].values, panels[k].field, colours);
    set_colour(cr, ink);
    use_font(cr, panel_font * 1.1, true);
    label(cr, q.map_x, y + panel_font * 0.3, panels[k].title, 0.0, 0.0);
    use_font(cr, panel_font, false);
  }
  draw_key(cr, panel_font * 1.5, header + rows * first.height + panel_font, panel_font);
  check_drawing(cr, path + ": cannot draw the picture");
  write_png(surface.get(), path);
}

}  // namespace c2m::inspect

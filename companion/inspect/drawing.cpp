#include "companion/inspect/drawing.hpp"

#include "common/errors.hpp"
#include "companion/common/staged_output.hpp"

namespace c2m::inspect {

surface_ptr image_surface(int width, int height, const std::string& what) {
  surface_ptr s(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  const cairo_status_t status = cairo_surface_status(s.get());
  if (status != CAIRO_STATUS_SUCCESS)
    throw run_error(what + ": cairo_image_surface_create: " + cairo_status_to_string(status));
  return s;
}

context_ptr drawing_context(cairo_surface_t* s, const std::string& what) {
  context_ptr cr(cairo_create(s));
  check_drawing(cr.get(), what);
  return cr;
}

void check_drawing(cairo_t* cr, const std::string& what) {
  const cairo_status_t status = cairo_status(cr);
  if (status != CAIRO_STATUS_SUCCESS) throw run_error(what + ": " + cairo_status_to_string(status));
}

void write_png(cairo_surface_t* surface, const std::string& path) {
  cairo_surface_flush(surface);
  companion::staged_output out(path);
  const cairo_status_t status = cairo_surface_write_to_png(surface, out.temp_path().c_str());
  if (status != CAIRO_STATUS_SUCCESS)
    throw run_error(path + ": cannot write PNG file: cairo_surface_write_to_png: " +
                    cairo_status_to_string(status));
  out.commit();
}

void set_colour(cairo_t* cr, rgb c) {
  cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
}

void use_font(cairo_t* cr, double size, bool bold) {
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

text_box measure(cairo_t* cr, const std::string& text) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  return {e.x_advance, -e.y_bearing};
}

void label(cairo_t* cr, double x, double y, const std::string& text, double ax, double ay) {
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  const double cap = fe.ascent * 0.72;
  cairo_move_to(cr, x - measure(cr, text).width * ax, y + cap * (1.0 - ay));
  cairo_show_text(cr, text.c_str());
}

}  // namespace c2m::inspect

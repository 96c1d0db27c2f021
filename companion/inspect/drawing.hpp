// What every picture of the inspector draws with: Cairo surfaces and contexts that
// free themselves and report Cairo's own words when they fail, colours, and text
// placed by its reference point.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>

#include "companion/inspect/colour_map.hpp"

namespace c2m::inspect {

inline constexpr rgb ink = {30, 30, 30};

struct surface_deleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct context_deleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using surface_ptr = std::unique_ptr<cairo_surface_t, surface_deleter>;
using context_ptr = std::unique_ptr<cairo_t, context_deleter>;

// An image surface of width x height, or a run_error "what: Cairo's reason".
surface_ptr image_surface(int width, int height, const std::string& what);
context_ptr drawing_context(cairo_surface_t* s, const std::string& what);
// Throws run_error "what: Cairo's reason" when drawing on cr has failed.
void check_drawing(cairo_t* cr, const std::string& what);
// Writes the surface as a PNG, replacing path only once the file is complete.
void write_png(cairo_surface_t* surface, const std::string& path);

void set_colour(cairo_t* cr, rgb c);
void use_font(cairo_t* cr, double size, bool bold);

// The advance of a text and the height of its capitals above the baseline.
struct text_box {
  double width = 0, ascent = 0;
};
text_box measure(cairo_t* cr, const std::string& text);

// Text with its reference point: ax = 0 left, 0.5 centred, 1 right; ay likewise from
// the top of the capital letters to their baseline.
void label(cairo_t* cr, double x, double y, const std::string& text, double ax, double ay);

}  // namespace c2m::inspect

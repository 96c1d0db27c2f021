// A tiny 5 x 7 pixel font (with descenders) for the labels of the quick-look pictures: digits,
// letters and the signs that numbers, units and titles need.
#pragma once

#include <string_view>

#include "companion/raster.hpp"

namespace c2m::inspect {

// Capitals and digits stand glyph_height rows tall; descenders of g, j, p, q, y and the
// comma take two rows more.
constexpr int glyph_width = 5, glyph_height = 7, glyph_rows = 9, glyph_advance = 6;

// Draws text with its top-left corner at (x, y), each font pixel as a scale x scale
// block. A character the font lacks is drawn as a box.
void draw_text(raster& picture, int x, int y, std::string_view text, int scale, rgb colour);

// Width in pixels of text drawn at scale (without the gap after the last glyph).
int text_width(std::string_view text, int scale);

}  // namespace c2m::inspect

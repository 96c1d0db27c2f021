// The grid configuration file: the converter reads it from its working directory under
// this name; the preparer and the sample generator write it, the batch copies it in.
// Its lines: a title (the first 20 characters count), "im jm lm", the seven grid
// description integers below, one per line, and one pressure (hPa) per level, bottom
// first. A line's first numbers count; anything after them is a comment.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "common/kgds.hpp"

namespace c2m::grid_config_file {

constexpr std::string_view name = "InputModelInf.txt";
constexpr std::size_t title_length = 20;

// The description integers the file gives, in file order: which kgds, what the
// converter's diagnostics call it, and the comment an annotated file writes after it.
struct kgds_line {
  std::size_t n;
  std::string_view what;
  std::string_view comment;
};
constexpr std::array<kgds_line, 7> kgds_lines = {{
    {1, "data representation type kgds(1)", "data representation type"},
    {4, "latitude of the first point kgds(4)", "latitude of first point (millidegrees)"},
    {5, "longitude of the first point kgds(5)", "longitude of first point"},
    {7, "latitude of the last point kgds(7)", "latitude of last point"},
    {8, "longitude of the last point kgds(8)", "longitude of last point"},
    {9, "increment along the first axis kgds(9)", "increment along i"},
    {10, "increment along the second axis kgds(10)", "increment along j"},
}};

struct contents {
  std::string title;
  std::int32_t im = 0, jm = 0, lm = 0;
  kgds_values kgds;                // those of kgds_lines are written
  std::span<const double> levels;  // hPa, bottom first; lm of them
};

// plain: the title cut to the characters that count, bare numbers, pressures in their
// shortest form ("%g"). annotated: for people to read; the title as given, each number
// followed by a comment, pressures with one decimal.
enum class style { plain, annotated };

std::string text(const contents& c, style s);

// Writes the text as the whole of path; diagnostics name `shown` (see write_new_file).
void write(const std::string& path, const std::string& shown, const contents& c, style s);

}  // namespace c2m::grid_config_file

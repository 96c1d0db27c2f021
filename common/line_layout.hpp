// The line layout of the progress log and of the grid description info file.
//
// A line with items begins with one blank. After the first item a number is preceded
// by one blank, and so is a text that follows a number; a text that follows a text is
// joined to it. Integers take 11 columns; floats take 16 columns with 9 significant
// digits, in fixed form for 0 and 0.1 <= |x| < 1e9 (12 columns and 4 blanks), else in
// exponent form.
//
// The fixed texts written through it are the format's own and stand byte for byte,
// blanks included, however they read: "botton of the atmosphere", "past 14 close",
// "starting writes to unit1", "calling get_fullgds with" and the like are what the
// logs and info files of every earlier conversion hold and what their readers expect.
// Do not correct them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace c2m {

using item = std::variant<std::string_view, std::int32_t, float>;

std::string format_int(std::int32_t value);
std::string format_float(float value);

// One line, with its line feed.
std::string format_line(std::span<const item> items);
inline std::string format_line(std::initializer_list<item> items) {
  return format_line(std::span<const item>(items.begin(), items.size()));
}

// Writes one line to standard output (the progress log).
void log_line(std::span<const item> items);
inline void log_line(std::initializer_list<item> items) {
  log_line(std::span<const item>(items.begin(), items.size()));
}

}  // namespace c2m

// The two lines of standard input: the input file path, and a line that is read and
// not used.
#pragma once

#include <cstdio>
#include <string>

#include "common/work_layout.hpp"

namespace c2m {

// Each line is held as a name field: padded with blanks, or cut.
constexpr std::size_t input_line_length = layout::name_field;

struct input_lines {
  std::string line1;
  std::string line2;
};

// Reads both lines from stream; a missing line ends the run with a diagnostic. A last
// line with text but without a line feed counts; an empty one needs its line feed.
input_lines read_input_lines(std::FILE* stream);

}  // namespace c2m

#include "driver/std_input.hpp"

#include "common/errors.hpp"

namespace c2m {

namespace {

// Reads one line, keeping its first 255 characters and dropping the rest; false at end
// of file before any character.
bool read_one(std::FILE* stream, std::string& line) {
  line.clear();
  bool any = false;
  int c;
  while ((c = std::getc(stream)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (line.size() < input_line_length + 1) line += static_cast<char>(c);
  }
  if (std::ferror(stream)) throw run_error(os_error("standard input", "cannot read"));
  if (!line.empty() && line.back() == '\r' && c == '\n') line.pop_back();
  if (line.size() > input_line_length) line.resize(input_line_length);
  line.resize(input_line_length, ' ');
  return any;
}

}  // namespace

input_lines read_input_lines(std::FILE* stream) {
  input_lines in;
  if (!read_one(stream, in.line1))
    throw run_error("standard input: empty; expected line 1, the input file path, and a line 2");
  if (!read_one(stream, in.line2))
    throw run_error("standard input: end of file before line 2 (two lines are needed)");
  return in;
}

}  // namespace c2m

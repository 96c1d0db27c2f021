// List-directed reading of a small text file, as the grid configuration file is read:
// values separated by blanks, commas or tabs; every read starts on a fresh line; lines
// without values are skipped; whatever follows the last value a read needs is ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace c2m {

// Fortran-style numbers: an integer is an optionally signed run of digits that fits 32
// bits; a real may also carry a decimal point and an exponent introduced by E or D.
std::optional<std::int32_t> parse_int32(std::string_view token);
std::optional<float> parse_real(std::string_view token);

class list_reader {
 public:
  // The file's text, lines ended by a line feed (a carriage return before it is part
  // of the ending); name is used in diagnostics.
  list_reader(std::string text, std::string name);

  const std::string& name() const { return name_; }

  // The next line as it stands, for a text read; throws at end of file.
  std::string read_line(std::string_view what);

  // The next count values, starting on a fresh line and continuing over lines.
  std::vector<std::int32_t> read_ints(int count, std::string_view what);
  float read_real(std::string_view what);

 private:
  std::vector<std::string_view> next_values(int count, std::string_view what,
                                            std::vector<int>& lines);
  bool next_line(std::string_view& line);

  std::string text_;
  std::string name_;
  std::size_t pos_ = 0;
  int line_no_ = 0;
};

}  // namespace c2m

#include "driver/list_input.hpp"

#include <charconv>
#include <limits>

#include "common/errors.hpp"

namespace c2m {

namespace {

bool is_separator(char c) {
  return c == ' ' || c == ',' || c == '\t';
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

std::string quoted(std::string_view s) {
  constexpr std::size_t shown = 40;
  std::string q = "\"";
  q += s.substr(0, shown);
  if (s.size() > shown) q += "...";
  return q + "\"";
}

}  // namespace

std::optional<std::int32_t> parse_int32(std::string_view t) {
  std::size_t k = 0;
  bool negative = false;
  if (k < t.size() && (t[k] == '+' || t[k] == '-')) negative = t[k++] == '-';
  if (k == t.size()) return std::nullopt;
  std::int64_t v = 0;
  for (; k < t.size(); ++k) {
    if (!is_digit(t[k])) return std::nullopt;
    v = v * 10 + (t[k] - '0');
    if (v > std::int64_t{1} << 31) return std::nullopt;
  }
  if (negative) v = -v;
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(v);
}

std::optional<float> parse_real(std::string_view t) {
  // Check the Fortran form, and rewrite it into the form from_chars takes.
  std::string s;
  std::size_t k = 0;
  if (k < t.size() && (t[k] == '+' || t[k] == '-')) {
    if (t[k] == '-') s += '-';
    ++k;
  }
  std::size_t digits = 0;
  for (; k < t.size() && is_digit(t[k]); ++k, ++digits) s += t[k];
  if (k < t.size() && t[k] == '.') {
    s += t[k++];
    for (; k < t.size() && is_digit(t[k]); ++k, ++digits) s += t[k];
  }
  if (digits == 0) return std::nullopt;
  if (k < t.size() && (t[k] == 'e' || t[k] == 'E' || t[k] == 'd' || t[k] == 'D')) {
    s += 'e';
    ++k;
    if (k < t.size() && (t[k] == '+' || t[k] == '-')) s += t[k++];
    std::size_t exp_digits = 0;
    for (; k < t.size() && is_digit(t[k]); ++k, ++exp_digits) s += t[k];
    if (exp_digits == 0) return std::nullopt;
  }
  if (k != t.size()) return std::nullopt;
  float v = 0.0f;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

list_reader::list_reader(std::string text, std::string name)
    : text_(std::move(text)), name_(std::move(name)) {}

bool list_reader::next_line(std::string_view& line) {
  if (pos_ >= text_.size()) return false;
  std::size_t end = text_.find('\n', pos_);
  const std::size_t next = end == std::string::npos ? text_.size() : end + 1;
  if (end == std::string::npos) end = text_.size();
  if (end > pos_ && text_[end - 1] == '\r') --end;
  line = std::string_view(text_).substr(pos_, end - pos_);
  pos_ = next;
  ++line_no_;
  return true;
}

std::string list_reader::read_line(std::string_view what) {
  std::string_view line;
  if (!next_line(line)) throw run_error(name_ + ": end of file before the " + std::string(what));
  return std::string(line);
}

std::vector<std::string_view> list_reader::next_values(int count, std::string_view what,
                                                       std::vector<int>& lines) {
  std::vector<std::string_view> values;
  std::string_view line;
  while (static_cast<int>(values.size()) < count) {
    if (!next_line(line))
      throw run_error(name_ + ": end of file before the " + std::string(what) + " (line " +
                      std::to_string(line_no_) + " was the last)");
    std::size_t k = 0;
    while (static_cast<int>(values.size()) < count) {
      while (k < line.size() && is_separator(line[k])) ++k;
      if (k == line.size()) break;
      const std::size_t start = k;
      while (k < line.size() && !is_separator(line[k])) ++k;
      values.push_back(line.substr(start, k - start));
      lines.push_back(line_no_);
    }
  }
  return values;
}

std::vector<std::int32_t> list_reader::read_ints(int count, std::string_view what) {
  std::vector<int> lines;
  const auto tokens = next_values(count, what, lines);
  std::vector<std::int32_t> out;
  for (std::size_t n = 0; n < tokens.size(); ++n) {
    const auto v = parse_int32(tokens[n]);
    if (!v)
      throw run_error(name_ + ": line " + std::to_string(lines[n]) + ": " + std::string(what) +
                      ": expected a 32-bit integer, found " + quoted(tokens[n]));
    out.push_back(*v);
  }
  return out;
}

float list_reader::read_real(std::string_view what) {
  std::vector<int> lines;
  const auto tokens = next_values(1, what, lines);
  const auto v = parse_real(tokens[0]);
  if (!v)
    throw run_error(name_ + ": line " + std::to_string(lines[0]) + ": " + std::string(what) +
                    ": expected a real number, found " + quoted(tokens[0]));
  return *v;
}

}  // namespace c2m

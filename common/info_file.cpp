#include "common/info_file.hpp"

#include <charconv>

#include "common/errors.hpp"
#include "common/file_io.hpp"
#include "common/line_layout.hpp"
#include "common/work_layout.hpp"

namespace c2m::info_file {

namespace {

// kgds(20) is listed under this label, after kgds(11).
constexpr std::string_view extra_lists_label = "kgds(12)";

std::string kgds_label(int n) {
  return "kgds(" + std::to_string(n) + ")";
}

}  // namespace

std::string text(std::int32_t lm, std::span<const float> pressures_hpa, const kgds_values& kgds) {
  std::string t = format_line({lm, " => Number of Levels"});
  t += format_line({"Pressure in Pa"});
  for (std::int32_t l = lm; l >= 1; --l)
    t += format_line({pressures_hpa[static_cast<std::size_t>(l - 1)] * 100.0f});
  for (int n = 1; n <= 11; ++n)
    t += format_line({kgds[static_cast<std::size_t>(n)], kgds_label(n)});
  t += format_line({kgds.extra_lists(), extra_lists_label});
  t += format_line({});
  t += format_line({"Fields names and writing order"});
  t += format_line({});
  t += format_line({"        3D "});
  // "botton": the format's own text (see line_layout.hpp).
  t += format_line({"first written record: botton of the atmosphere"});
  for (const std::string_view name : layout::field_names_3d) t += format_line({name});
  t += format_line({});
  t += format_line({"        2D"});
  for (const std::string_view name : layout::field_names_2d) t += format_line({name});
  return t;
}

namespace {

struct text_line {
  int number;  // from 1, for diagnostics
  std::string_view text;
};

std::string_view trim(std::string_view s) {
  const std::size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// The non-empty lines: the empty separator lines carry nothing.
std::vector<text_line> content_lines(std::string_view text) {
  std::vector<text_line> lines;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    ++number;
    if (!trim(line).empty()) lines.push_back({number, line});
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
  }
  return lines;
}

class parser {
 public:
  parser(std::string_view text, const std::string& name)
      : lines_(content_lines(text)), name_(name) {}

  bool at_end() const { return next_ >= lines_.size(); }
  std::size_t remaining() const { return lines_.size() - next_; }
  std::string_view peek() const { return trim(lines_[next_].text); }

  // The next line, trimmed; a missing one ends the file too early.
  std::string_view take(std::string_view expecting) {
    if (at_end()) fail("ends before " + std::string(expecting));
    return trim(lines_[next_++].text);
  }

  void expect(std::string_view text) {
    if (take(text) != text) fail_here("expected \"" + std::string(text) + "\"");
  }

  // A line holding an integer followed by a label.
  std::int32_t take_int(std::string_view label) {
    const std::string_view line = take(label);
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), value);
    if (ec != std::errc{} || trim(std::string_view(end, line.data() + line.size())) != label)
      fail_here("expected an integer and \"" + std::string(label) + "\"");
    return value;
  }

  float take_float(std::string_view what) {
    const std::string_view line = take(what);
    float value = 0.0f;
    const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), value);
    if (ec != std::errc{} || end != line.data() + line.size())
      fail_here("expected " + std::string(what));
    return value;
  }

  [[noreturn]] void fail(const std::string& what) const {
    throw run_error(name_ + ": " + what + " (not a conv2model info file?)");
  }
  [[noreturn]] void fail_here(const std::string& what) const {
    fail("line " + std::to_string(lines_[next_ - 1].number) + ": " + what);
  }

 private:
  std::vector<text_line> lines_;
  std::size_t next_ = 0;
  const std::string& name_;
};

// Level count and the pressures, listed from the top level down in Pa.
void parse_levels(parser& p, contents& c) {
  c.lm = p.take_int("=> Number of Levels");
  if (c.lm < 1) p.fail_here("level count must be at least 1");
  // Nothing is sized by the count before its pressure lines are known to be there.
  if (static_cast<std::size_t>(c.lm) > p.remaining())
    p.fail("ends before the " + std::to_string(c.lm) + " pressures of its level count");
  p.expect("Pressure in Pa");
  c.pressure_pa.resize(static_cast<std::size_t>(c.lm));
  for (std::int32_t l = c.lm; l >= 1; --l)
    c.pressure_pa[static_cast<std::size_t>(l - 1)] = p.take_float("a pressure in Pa");
}

void parse_kgds(parser& p, contents& c) {
  for (int n = 1; n <= 11; ++n) c.kgds[static_cast<std::size_t>(n)] = p.take_int(kgds_label(n));
  c.kgds.extra_lists() = p.take_int(extra_lists_label);
  if (c.kgds.im() < 1 || c.kgds.jm() < 1)
    p.fail("grid of " + std::to_string(c.kgds.im()) + " x " + std::to_string(c.kgds.jm()) +
           " points (kgds(2), kgds(3)) has no points");
}

// The field list: five 3-D names after "3D", twelve surface names after "2D".
void parse_names(parser& p, contents& c) {
  p.expect("Fields names and writing order");
  p.expect("3D");
  if (!p.take("the 3-D field list").starts_with("first written record"))
    p.fail_here("expected \"first written record: ...\"");
  while (!p.at_end() && p.peek() != "2D") c.names_3d.emplace_back(p.take(""));
  p.expect("2D");
  while (!p.at_end()) c.names_2d.emplace_back(p.take(""));
  if (c.names_3d.size() != layout::field_names_3d.size() ||
      c.names_2d.size() != layout::field_names_2d.size())
    p.fail("lists " + std::to_string(c.names_3d.size()) + " 3-D and " +
           std::to_string(c.names_2d.size()) + " surface fields, expected " +
           std::to_string(layout::fields_3d) + " and " + std::to_string(layout::fields_2d));
}

}  // namespace

contents parse(std::string_view text, const std::string& name) {
  parser p(text, name);
  contents c;
  parse_levels(p, c);
  parse_kgds(p, c);
  parse_names(p, c);
  return c;
}

contents read(const std::string& path) {
  return parse(read_small_file(path, "info file", 64), path);
}

}  // namespace c2m::info_file

#include "companion/common/work_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "common/byte_order.hpp"
#include "common/errors.hpp"
#include "common/file_io.hpp"
#include "common/unique_fd.hpp"
#include "companion/inspect/number_text.hpp"

namespace c2m::inspect {

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

class info_parser {
 public:
  info_parser(std::string_view text, const std::string& name)
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

std::string level_range(const grid_info& info) {
  return "from 1 (bottom, " + short_number(info.pressure_pa.front() / 100.0f) + " hPa) to " +
         std::to_string(info.lm) + " (top, " + short_number(info.pressure_pa.back() / 100.0f) +
         " hPa)";
}

}  // namespace

grid_info parse_grid_info(std::string_view text, const std::string& name) {
  info_parser p(text, name);
  grid_info info;

  // Level count and the pressures, listed from the top level down in Pa.
  info.lm = p.take_int("=> Number of Levels");
  if (info.lm < 1) p.fail_here("level count must be at least 1");
  // Nothing is sized by the count before its pressure lines are known to be there.
  if (static_cast<std::size_t>(info.lm) > p.remaining())
    p.fail("ends before the " + std::to_string(info.lm) + " pressures of its level count");
  p.expect("Pressure in Pa");
  info.pressure_pa.resize(static_cast<std::size_t>(info.lm));
  for (std::int32_t l = info.lm; l >= 1; --l)
    info.pressure_pa[static_cast<std::size_t>(l - 1)] = p.take_float("a pressure in Pa");

  // kgds(1) to kgds(11), then kgds(20) under the label "kgds(12)".
  for (int n = 1; n <= 11; ++n)
    info.kgds[static_cast<std::size_t>(n)] = p.take_int("kgds(" + std::to_string(n) + ")");
  info.kgds[20] = p.take_int("kgds(12)");
  info.im = info.kgds[2];
  info.jm = info.kgds[3];
  if (info.im < 1 || info.jm < 1)
    p.fail("grid of " + std::to_string(info.im) + " x " + std::to_string(info.jm) +
           " points (kgds(2), kgds(3)) has no points");

  // The field list: five 3-D names after "3D", twelve surface names after "2D".
  p.expect("Fields names and writing order");
  p.expect("3D");
  if (!p.take("the 3-D field list").starts_with("first written record"))
    p.fail_here("expected \"first written record: ...\"");
  while (!p.at_end() && p.peek() != "2D") info.fields_3d.push_back(describe_field(p.take("")));
  p.expect("2D");
  while (!p.at_end()) info.fields_2d.push_back(describe_field(p.take("")));
  if (info.fields_3d.size() != static_cast<std::size_t>(layout::fields_3d) ||
      info.fields_2d.size() != static_cast<std::size_t>(layout::fields_2d))
    p.fail("lists " + std::to_string(info.fields_3d.size()) + " 3-D and " +
           std::to_string(info.fields_2d.size()) + " surface fields, expected " +
           std::to_string(layout::fields_3d) + " and " + std::to_string(layout::fields_2d));
  return info;
}

work_file read_work_file(const std::string& path) {
  work_file w;
  w.path = path;
  const std::string info_path = path + ".gdsinfo";
  // An info file is a few kilobytes; anything far larger is not one.
  w.info = parse_grid_info(read_small_file(info_path, "info file", 64), info_path);

  const unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.is_open()) throw run_error(os_error(path, "cannot open work file"));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw run_error(os_error(path, "cannot examine work file"));
  if (!S_ISREG(st.st_mode)) throw run_error(path + ": work file is not a regular file");

  // Check the size the info file implies before allocating anything.
  std::uint64_t bytes = 0;
  const std::uint64_t records = static_cast<std::uint64_t>(w.record_count());
  const bool too_big =
      __builtin_mul_overflow(static_cast<std::uint64_t>(w.points()), records, &bytes) ||
      __builtin_mul_overflow(bytes, std::uint64_t{4}, &bytes);
  const std::string described = std::to_string(records) + " records of " +
                                std::to_string(w.info.im) + " x " + std::to_string(w.info.jm) +
                                " floats";
  if (too_big || static_cast<std::uint64_t>(st.st_size) != bytes)
    throw run_error(path + ": work file is " + std::to_string(st.st_size) +
                    " bytes, but its info file describes " + described +
                    (too_big ? "" : " (" + std::to_string(bytes) + " bytes)") +
                    (!too_big && static_cast<std::uint64_t>(st.st_size) > bytes
                         ? "; conv2model does not shorten an existing work file, so its tail "
                           "may be records of an earlier, larger conversion"
                         : ""));

  w.values.resize(bytes / 4);
  read_exactly(fd.get(), path, w.values.data(), bytes, "work file");
  floats_from_little_endian(w.values);
  return w;
}

std::vector<record_id> list_records(const grid_info& info) {
  std::vector<record_id> records;
  int number = 1;
  for (const field_desc& f : info.fields_3d)
    for (std::int32_t l = 1; l <= info.lm; ++l)
      records.push_back(
          {number++, &f, l, info.pressure_pa[static_cast<std::size_t>(l - 1)] / 100.0f});
  for (const field_desc& f : info.fields_2d) records.push_back({number++, &f, 0, 0.0f});
  return records;
}

record_id find_record(const grid_info& info, std::string_view name, std::int32_t level) {
  std::string names;
  for (const record_id& r : list_records(info)) {
    if (r.level <= 1) names.append(" ").append(display_name(*r.field));
    if (!names_field(*r.field, name)) continue;
    if (r.level == level) return r;
    if (level == 0)
      throw run_error(std::string(name) + " is a 3-D field: give a LEVEL " + level_range(info));
    if (r.level == 0) throw run_error(std::string(name) + " is a surface field: it takes no LEVEL");
  }
  for (const field_desc& f : info.fields_3d)
    if (names_field(f, name))
      throw run_error("level " + std::to_string(level) + " of " + std::string(name) +
                      " does not exist: give a LEVEL " + level_range(info));
  throw run_error("unknown field '" + std::string(name) + "'; this work file holds" + names);
}

std::int32_t level_of_pressure(const grid_info& info, double hpa) {
  for (std::int32_t l = 1; l <= info.lm; ++l) {
    const double p = info.pressure_pa[static_cast<std::size_t>(l - 1)] / 100.0;
    if (std::fabs(p - hpa) <= 0.005) return l;
  }
  std::string levels;
  for (const float p : info.pressure_pa) levels.append(" ").append(short_number(p / 100.0));
  throw run_error("no level at " + short_number(hpa) + " hPa; the levels are (hPa)" + levels);
}

}  // namespace c2m::inspect

#include "companion/common/work_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <utility>

#include "common/byte_order.hpp"
#include "common/errors.hpp"
#include "common/file_io.hpp"
#include "common/info_file.hpp"
#include "common/unique_fd.hpp"
#include "companion/common/number_text.hpp"

namespace c2m::companion {

namespace {

std::string level_range(const grid_info& info) {
  return "from 1 (bottom, " + short_number(info.pressure_pa.front() / 100.0f) + " hPa) to " +
         std::to_string(info.lm) + " (top, " + short_number(info.pressure_pa.back() / 100.0f) +
         " hPa)";
}

}  // namespace

namespace {

grid_info grid_info_of(const info_file::contents& c) {
  grid_info info;
  info.im = c.kgds.im();
  info.jm = c.kgds.jm();
  info.lm = c.lm;
  info.pressure_pa = c.pressure_pa;
  info.kgds = c.kgds;
  for (const std::string& n : c.names_3d) info.fields_3d.push_back(describe_field(n));
  for (const std::string& n : c.names_2d) info.fields_2d.push_back(describe_field(n));
  return info;
}

}  // namespace

grid_info parse_grid_info(std::string_view text, const std::string& name) {
  return grid_info_of(info_file::parse(text, name));
}

namespace {

// Opens the work file of w.path, whose info w holds, and refuses it unless its size is
// what the info file describes; returns the open file and its size.
std::pair<unique_fd, std::uint64_t> open_checked(const work_file& w) {
  const std::string& path = w.path;

  unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
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

  return {std::move(fd), bytes};
}

}  // namespace

work_file read_work_info(const std::string& path) {
  work_file w;
  w.path = path;
  w.info = grid_info_of(info_file::read(w.info_path()));
  (void)open_checked(w);
  return w;
}

work_file read_work_file(const std::string& path) {
  work_file w = read_work_info(path);
  const auto [fd, bytes] = open_checked(w);
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

}  // namespace c2m::companion

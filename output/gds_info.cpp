#include <fcntl.h>

#include "common/errors.hpp"
#include "common/kgds.hpp"
#include "common/line_layout.hpp"
#include "common/work_layout.hpp"
#include "output/output.hpp"

namespace c2m {

namespace {

std::string info_name(const run_state& run) {
  std::string field = run.work_name + ".gdsinfo";
  field.resize(255, ' ');
  return field.substr(0, field.find(' '));
}

}  // namespace

std::string gds_info_text(const run_state& run) {
  std::string t = format_line({run.lm, " => Number of Levels"});
  t += format_line({"Pressure in Pa"});
  for (std::int32_t l = run.lm; l >= 1; --l)
    t += format_line({run.pr[static_cast<std::size_t>(l - 1)] * 100.0f});
  for (std::int32_t n = 1; n <= 11; ++n)
    t += format_line({run.kgds[static_cast<std::size_t>(n)], "kgds(" + std::to_string(n) + ")"});
  t += format_line({run.kgds[20], "kgds(12)"});
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

void write_gds_info(run_state& run) {
  const std::string name = info_name(run);
  unique_fd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!fd.is_open()) throw run_error(os_error(name, "cannot create grid description info file"));

  // "get_fullgds": the log's own text (see line_layout.hpp).
  log_line({"calling get_fullgds with ", std::string_view(run.input_name)});
  run.kgds[2] = run.im;
  run.kgds[3] = run.jm;
  run.kgds[6] = kgds_flags::increments_given;
  run.kgds[11] = kgds_flags::j_positive;  // west to east, i fastest, south to north
  run.kgds[20] = kgds_flags::no_extra_lists;
  log_line({"back from get_fullgds"});
  std::vector<item> line{std::string_view("writing kgds ")};
  for (std::size_t n = 1; n <= 14; ++n) line.emplace_back(run.kgds[n]);
  log_line(line);
  log_line({"GDS written to ", std::string_view(name)});

  const std::string text = gds_info_text(run);
  write_at(fd.get(), name, text.data(), text.size(), 0);
  if (fd.close() != 0) throw run_error(os_error(name, "cannot close grid description info file"));
}

}  // namespace c2m

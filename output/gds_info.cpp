#include <fcntl.h>

#include "common/errors.hpp"
#include "common/info_file.hpp"
#include "common/kgds.hpp"
#include "common/line_layout.hpp"
#include "common/work_layout.hpp"
#include "output/output.hpp"

namespace c2m {

namespace {

std::string info_name(const run_state& run) {
  std::string field = run.work_name + std::string(layout::info_suffix);
  field.resize(layout::name_field, ' ');
  return field.substr(0, field.find(' '));
}

}  // namespace

std::string gds_info_text(const run_state& run) {
  return info_file::text(run.lm, run.pr, run.kgds);
}

void write_gds_info(run_state& run) {
  const std::string name = info_name(run);
  unique_fd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!fd.is_open()) throw run_error(os_error(name, "cannot create grid description info file"));

  // "get_fullgds": the log's own text (see line_layout.hpp).
  log_line({"calling get_fullgds with ", std::string_view(run.input_name)});
  run.kgds.im() = run.im;
  run.kgds.jm() = run.jm;
  run.kgds.resolution_flags() = kgds_flags::increments_given;
  run.kgds.scanning_mode() = kgds_flags::j_positive;  // west to east, i fastest, south to north
  run.kgds.extra_lists() = kgds_flags::no_extra_lists;
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

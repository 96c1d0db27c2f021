#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "common/line_layout.hpp"
#include "common/work_layout.hpp"
#include "output/output.hpp"

namespace c2m {

void write_at(int fd, const std::string& name, const void* data, std::size_t size,
              std::uint64_t offset) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw run_error(os_error(name, "cannot write"));
    p += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
}

unique_fd open_work_file(run_state& run) {
  std::string field = run.input_name + std::string(layout::work_suffix) + " ";
  field.resize(layout::name_field, ' ');
  log_line({std::string_view(field)});
  run.work_name = field.substr(0, field.find(' '));
  log_line({work_tag, " data ---> ", std::string_view(run.work_name)});
  // An existing work file is overwritten in place, never emptied first.
  unique_fd fd(::open(run.work_name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
  if (!fd.is_open()) throw run_error(os_error(run.work_name, "cannot open work file for writing"));
  if (is_mapped_input(run.input, fd.get()))
    throw run_error(run.work_name +
                    ": is the input field file itself (a link to it?): the work file must be "
                    "another file");
  return fd;
}

namespace {

// Sample index along an axis of n points: n * num / den, at least 1 on one-point axes.
std::int32_t sample_index(std::int32_t n, std::int32_t num, std::int32_t den) {
  const std::int64_t k = static_cast<std::int64_t>(n) * num / den;
  return static_cast<std::int32_t>(k < 1 ? 1 : k);
}

void write_records(const run_state& run, int fd) {
  // Consecutive records of one grid lie back to back in memory and in the file: each
  // grid goes out with one positioned write.
  const std::uint64_t record = run.slp.level_size() * sizeof(float);
  const auto write_grid = [&](const grid& g, std::int64_t first_record) {
    write_at(fd, run.work_name, g.data, g.size() * sizeof(float),
             static_cast<std::uint64_t>(first_record - 1) * record);
  };
  const grid* fields[layout::fields_3d] = {&run.uw, &run.vw, &run.ht, &run.qnew2, &run.tp};
  try {
    for (std::int32_t f = 1; f <= layout::fields_3d; ++f)
      write_grid(*fields[f - 1], layout::record_3d(f, run.lm, 1));
    write_grid(run.slp, layout::record_2d(run.lm, 1));
  } catch (const run_error&) {
    // A write from a view of an input cut meanwhile fails: the input is named then.
    check_input_intact(run.input);
    throw;
  }
  // Records written from views of an input cut meanwhile are not the input's.
  check_input_intact(run.input);
}

void print_sample(const run_state& run, std::int32_t i, std::int32_t j) {
  for (std::int32_t k = 1; k <= nsfcfld; ++k) log_line({"field, value ", k, run.slp.at(i, j, k)});
}

}  // namespace

void write_work_file(const run_state& run, unique_fd fd) {
  // "past 14 close", "unit1": the log's own texts (see line_layout.hpp).
  log_line({"past 14 close"});
  log_line({"starting writes to unit1"});
  write_records(run, fd.get());
  log_line({"writing these sfc values to the ", work_tag, " file..."});
  print_sample(run, sample_index(run.im, 1, 2), sample_index(run.jm, 1, 2));
  print_sample(run, sample_index(run.im, 3, 4), sample_index(run.jm, 3, 4));
  if (fd.close() != 0) throw run_error(os_error(run.work_name, "cannot close work file"));
}

}  // namespace c2m

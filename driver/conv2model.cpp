#include "driver/conv2model.hpp"

#include <algorithm>
#include <vector>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "common/step_timing.hpp"
#include "common/work_layout.hpp"
#include "conditioning/conditioning.hpp"
#include "driver/grid_config.hpp"
#include "driver/input_file.hpp"
#include "driver/std_input.hpp"
#include "output/output.hpp"
#include "thermo/humidity.hpp"

namespace c2m {

namespace {

void allocate_grids(run_state& run) {
  // Refused before anything is allocated, so that neither is reported as a failed
  // allocation: an element count that overflows, then a horizontal grid too large for
  // one work-file record (one record is one horizontal grid).
  grid_elements(run.im, run.jm, std::max(run.lm, nsfcfld));
  if (static_cast<std::uint64_t>(run.im) * static_cast<std::uint64_t>(run.jm) * sizeof(float) >
      2147483647u)
    throw run_error(run.config_name + ": a grid of im=" + std::to_string(run.im) +
                    " by jm=" + std::to_string(run.jm) +
                    " points does not fit a work-file record (at most 2147483647 bytes)");
  run.ht = make_grid(run.im, run.jm, run.lm);
  run.tp = make_grid(run.im, run.jm, run.lm);
  run.uw = make_grid(run.im, run.jm, run.lm);
  run.vw = make_grid(run.im, run.jm, run.lm);
  run.rh = make_grid(run.im, run.jm, run.lm);
  run.slp = make_grid(run.im, run.jm, nsfcfld);
}

}  // namespace

std::string input_file_name(const std::string& line1) {
  const std::size_t blank = line1.find(' ');
  if (blank == std::string::npos)
    throw run_error("standard input: line 1 holds no blank in its first " +
                    std::to_string(input_line_length) +
                    " characters: the input file path is too long (at most " +
                    std::to_string(layout::longest_input_name) + " characters)");
  std::string name = line1.substr(0, blank);
  if (name.size() > layout::longest_input_name)
    throw run_error("standard input: the input file path has " + std::to_string(name.size()) +
                    " characters; at most " + std::to_string(layout::longest_input_name) +
                    " leave room for the output names");
  return name;
}

void conv2model(const std::string& line1, const std::string& line2) {
  (void)line2;  // read so that it must be present; no step uses it
  step_timer timer;
  run_state run;
  run.input_name = input_file_name(line1);

  list_reader cfg = open_grid_config(grid_config_path);
  read_grid_description(cfg, run);
  allocate_grids(run);
  read_config_pressures(cfg, run);
  echo_grid_config(run);
  timer.lap("config");

  read_input_file(run);
  timer.lap("input");

  missing_fix(run);
  timer.lap("missing_fix");
  const std::vector<float> q_first(static_cast<std::size_t>(run.lm), 0.0f);
  try {
    level_check(run.ht, run.tp, run.rh, run.uw, run.vw, q_first, run.pr, run.lm);
  } catch (const data_stop& e) {
    throw data_stop(run.input_name + ": " + e.what());
  }
  timer.lap("level_check");
  soil_fix(run.slp);
  timer.lap("soil_fix");
  run.qnew2 = rh_to_q(run.tp, run.pr, std::move(run.rh));
  timer.lap("rh_to_q");
  // The steps have read the views; an input cut under them stops the run before any
  // output is opened.
  check_input_intact(run.input);

  unique_fd work_fd = open_work_file(run);
  timer.lap("work_open");
  write_gds_info(run);
  timer.lap("info_file");
  write_work_file(run, std::move(work_fd));
  timer.lap("records");

  run = run_state{};  // the grids are released here rather than at the return
  timer.lap("release");
}

}  // namespace c2m

#include "driver/grid_config.hpp"

#include "common/errors.hpp"
#include "common/file_io.hpp"
#include "common/line_layout.hpp"

namespace c2m {

list_reader open_grid_config(const std::string& path) {
  // A configuration file is a few hundred bytes; a huge one is not one.
  return list_reader(read_small_file(path, "grid configuration file", 16), path);
}

void read_grid_description(list_reader& cfg, run_state& run) {
  run.config_name = cfg.name();
  std::string title = cfg.read_line("title line");
  title.resize(grid_config_file::title_length, ' ');
  run.title = title;

  const auto dims = cfg.read_ints(3, "grid dimensions im, jm, lm");
  run.im = dims[0];
  run.jm = dims[1];
  run.lm = dims[2];

  for (const grid_config_file::kgds_line& k : grid_config_file::kgds_lines)
    run.kgds[k.n] = cfg.read_ints(1, k.what)[0];

  // Empty grids would leave the level check, the soil repair and the sample without a
  // point to read; refuse them before anything is allocated.
  if (run.im < 1 || run.jm < 1 || run.lm < 1)
    throw run_error(cfg.name() +
                    ": grid dimensions must be at least 1, got im=" + std::to_string(run.im) +
                    " jm=" + std::to_string(run.jm) + " lm=" + std::to_string(run.lm));
}

void read_config_pressures(list_reader& cfg, run_state& run) {
  // Grown line by line: a huge lm in a short file ends at its end of file without
  // first claiming lm floats.
  run.pr.clear();
  for (std::int32_t l = 1; l <= run.lm; ++l)
    run.pr.push_back(cfg.read_real("pressure of level " + std::to_string(l)));
}

void echo_grid_config(const run_state& run) {
  log_line({"using hardwired stuff! ", run.im, run.jm, run.lm});
  std::vector<item> pressures(run.pr.begin(), run.pr.end());
  log_line(pressures);
  // The title up to its first blank; a title without a blank echoes as nothing.
  const std::size_t blank = run.title.find(' ');
  log_line({std::string_view(run.title).substr(0, blank == std::string::npos ? 0 : blank)});
}

}  // namespace c2m

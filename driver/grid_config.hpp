// The grid configuration file ./InputModelInf.txt: title, grid dimensions, seven grid
// description integers and one pressure per level.
#pragma once

#include <string>

#include "common/grid_config_file.hpp"
#include "common/run_state.hpp"
#include "driver/list_input.hpp"

namespace c2m {

inline const std::string grid_config_path = "./" + std::string(grid_config_file::name);

list_reader open_grid_config(const std::string& path);

// Reads the title, im, jm, lm and the seven description integers; notes the file's
// name in run.config_name for later diagnostics.
void read_grid_description(list_reader& cfg, run_state& run);

// Reads the lm pressure lines into run.pr (which it sizes).
void read_config_pressures(list_reader& cfg, run_state& run);

// The configuration echo on the progress log.
void echo_grid_config(const run_state& run);

}  // namespace c2m

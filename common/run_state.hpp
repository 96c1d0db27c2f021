// Everything one conversion run owns, from the configuration read to the end of the run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/grid.hpp"
#include "common/kgds.hpp"
#include "common/mapped_input.hpp"

namespace c2m {

struct run_state {
  std::string title;  // first 20 characters of the configuration's first line
  std::int32_t im = 0;
  std::int32_t jm = 0;
  std::int32_t lm = 0;
  kgds_values kgds;  // kgds[1] .. kgds[20]; unset elements hold 0

  // The input field file, mapped while the run lasts when some grids are views of it;
  // declared ahead of the grids so that it outlives them.
  mapped_input input;

  // Grids of the run. qnew2 takes over rh's storage in the humidity derivation, so the
  // two never need storage at the same time. q holds 0.0 everywhere and has no storage:
  // only the first point of each of its levels is ever read.
  grid ht, tp, uw, vw, rh, qnew2, slp;
  std::vector<float> pr;  // hPa, level 1 at the bottom

  std::string config_name;  // the grid configuration file, for diagnostics
  std::string input_name;   // line 1 of standard input up to its first blank
  std::string work_name;
};

}  // namespace c2m

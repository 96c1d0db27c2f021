// conv2model-prepare: the input field file and ./InputModelInf.txt from a GRIB or
// NetCDF analysis, so that conv2model runs on it unchanged.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "companion/prepare/latlon_grid.hpp"

namespace c2m::prepare {

struct options {
  std::string output = "analysis.bin";
  std::optional<area> cut;
  std::vector<double> levels;  // hPa; empty: those present for all upper-air fields
  bool inventory = false;
  int jobs = 0;                // GRIB decoding processes; 0: the cores available
  double decode_seconds = 60;  // for one GRIB message, after which it counts as damaged
  std::vector<std::string> files;
};

// Command line to options; throws std::invalid_argument with the message for the user.
// Returns nothing when --help was asked for (the help is then printed on `out`).
std::optional<options> parse_options(const std::vector<std::string>& args, std::ostream& out);

// Does the whole job; throws run_error on any failure, leaving no output behind.
void prepare(const options& opt, std::ostream& out, std::ostream& warn);

// Entry point: the exit status.
int prepare_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace c2m::prepare

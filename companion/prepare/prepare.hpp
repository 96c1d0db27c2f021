// conv2model-prepare: the input field file and ./InputModelInf.txt from a GRIB or
// NetCDF analysis, so that conv2model runs on it unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/command_line_options.hpp"
#include "companion/prepare/latlon_grid.hpp"
#include "companion/prepare/soil_layers.hpp"
#include "companion/regrid/target_grid.hpp"

namespace c2m::prepare {

struct options {
  std::string output = "analysis.bin";
  std::optional<area> cut;              // with --grid: the area of the target grid
  std::optional<regrid::spacing> grid;  // interpolate every field onto this spacing
  std::vector<double> levels;           // hPa; empty: those present for all upper-air fields
  bool inventory = false;
  bool allow_holes = false;                // points without data pass, with a warning
  bool allow_implausible = false;          // values outside their field's plausible range
  std::optional<std::string> time;         // the valid time to prepare, of several
  bool each_time = false;                  // one input field file per valid time
  std::optional<std::int64_t> interval;    // minutes: a series at this interval
  std::int64_t max_gap = 6 * 60;           // minutes between held times, at most
  std::optional<long> member;              // the ensemble member to prepare
  std::optional<soil_bounds> soil_layers;  // the four soil layers to map other layerings onto
  int jobs = 0;                            // GRIB decoding processes; 0: the cores available
  double decode_seconds = 60;              // for one GRIB message, after which it counts as damaged
  std::vector<std::string> files;
};

inline constexpr const char* program = "conv2model-prepare";

// The command line: its options (besides --help and --version), its help, and the
// options of the run it asks for. options_of throws usage_error for a value that does
// not fit and when no file is given.
std::span<const cli_option> option_table();
std::string help();
options options_of(const parsed_command_line& c);

// Does the whole job; throws run_error on any failure, leaving no output behind.
void prepare(const options& opt, std::ostream& out, std::ostream& warn);

}  // namespace c2m::prepare

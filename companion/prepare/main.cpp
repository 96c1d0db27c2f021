// conv2model-prepare: the input field file and the grid configuration of conv2model
// from a GRIB or NetCDF analysis. The exit status: 0 done, 1 a failure (nothing
// written), 64 a wrong command line.
#include <iostream>
#include <string>
#include <vector>

#include "common/command_line_options.hpp"
#include "common/errors.hpp"
#include "companion/prepare/prepare.hpp"

int main(int argc, char** argv) {
  using namespace c2m;
  const std::vector<std::string> args(argv + 1, argv + argc);
  return run_program(prepare::program, exit_io_failure, std::cout, std::cerr, [&] {
    const parsed_command_line c = parse_command_line(args, {prepare::option_table()});
    if (const auto answered = answer_help_or_version(c, prepare::program, prepare::help(),
                                                     std::cout, std::cerr, prepare::option_table()))
      return *answered;
    prepare::prepare(prepare::options_of(c), std::cout, std::cerr);
    return 0;
  });
}

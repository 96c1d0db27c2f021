// conv2model-prepare: the input field file and the grid configuration of conv2model
// from a GRIB or NetCDF analysis. Here the command line and the failures become the
// exit status: 0 done, 1 a failure (nothing written), 64 a wrong command line.
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/command_line_options.hpp"
#include "common/errors.hpp"
#include "companion/prepare/prepare.hpp"

namespace {

using c2m::prepare::program;

int run(const c2m::prepare::options& opt) {
  try {
    c2m::prepare::prepare(opt, std::cout, std::cerr);
  } catch (const std::bad_alloc&) {
    std::cerr << program << ": the grids do not fit into memory\n";
    return c2m::exit_io_failure;
  } catch (const std::runtime_error& e) {
    std::cerr << program << ": " << e.what() << "\n";
    return c2m::exit_io_failure;
  }
  if (!std::cout.flush()) {
    std::cerr << program << ": standard output: cannot write\n";
    return c2m::exit_io_failure;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  c2m::prepare::options opt;
  try {
    const c2m::parsed_command_line c =
        c2m::parse_command_line(args, c2m::prepare::command_line_syntax());
    if (const auto status =
            c2m::answer_help_or_version(c, program, c2m::prepare::help(), std::cout, std::cerr))
      return *status;
    opt = c2m::prepare::options_of(c);
  } catch (const c2m::usage_error& e) {
    return c2m::report_usage_error(program, e, std::cerr);
  }
  return run(opt);
}

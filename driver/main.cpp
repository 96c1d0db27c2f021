// conv2model: converts one pressure-level analysis into the initial data of the
// limited-area model. Reads the input file path from standard input; arguments only ask
// for the help or the version.
#include <iostream>

#include "common/command_line_options.hpp"
#include "common/errors.hpp"
#include "common/step_timing.hpp"
#include "driver/command_line.hpp"
#include "driver/conv2model.hpp"
#include "driver/std_input.hpp"
#include "thermo/module_estab.hpp"

int main(int argc, char** argv) {
  if (argc > 1) return c2m::answer_arguments(argc, argv);
  c2m::prompt_for_input();
  return c2m::run_program("conv2model", c2m::exit_io_failure, std::cout, std::cerr, [] {
    c2m::step_timer timer;
    c2m::estab::es_ini();
    timer.lap("es_ini");
    const c2m::input_lines in = c2m::read_input_lines(stdin);
    c2m::conv2model(in.line1, in.line2);
    if (!c2m::flushed(std::cout))
      throw c2m::run_error("standard output: cannot write the progress log");
    return 0;
  });
}

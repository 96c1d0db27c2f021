// conv2model: converts one pressure-level analysis into the initial data of the
// limited-area model. Reads the input file path from standard input; arguments only ask
// for the help or the version.
#include <cstdio>
#include <exception>

#include "common/errors.hpp"
#include "common/step_timing.hpp"
#include "driver/command_line.hpp"
#include "driver/conv2model.hpp"
#include "driver/std_input.hpp"
#include "thermo/module_estab.hpp"

namespace {

int fail(const char* kind, const char* what, int status) {
  std::fflush(stdout);  // the log keeps its order ahead of the diagnostic
  std::fprintf(stderr, "conv2model: %s%s\n", kind, what);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) return c2m::answer_arguments(argc, argv);
  c2m::prompt_for_input();
  try {
    c2m::step_timer timer;
    c2m::estab::es_ini();
    timer.lap("es_ini");
    const c2m::input_lines in = c2m::read_input_lines(stdin);
    c2m::conv2model(in.line1, in.line2);
  } catch (const c2m::data_stop& e) {
    return fail("conversion stopped, no output written: ", e.what(), c2m::exit_data_stop);
  } catch (const c2m::run_error& e) {
    return fail("", e.what(), c2m::exit_io_failure);
  } catch (const std::exception& e) {
    return fail("internal error: ", e.what(), c2m::exit_io_failure);
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    return fail("", "standard output: cannot write the progress log", c2m::exit_io_failure);
  return 0;
}

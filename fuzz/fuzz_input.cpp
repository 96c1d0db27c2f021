// Fuzz target: the input field file reader on arbitrary bytes. The first three bytes
// choose the configured grid (1 to 16 points along each axis, 1 to 16 levels); the
// rest is the file.
#include <string>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "common/run_state.hpp"
#include "driver/input_file.hpp"
#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  c2m::fuzz::init_once();
  if (size < 3) return 0;
  c2m::run_state run;
  run.im = 1 + data[0] % 16;
  run.jm = 1 + data[1] % 16;
  run.lm = 1 + data[2] % 16;
  for (c2m::grid* g : {&run.ht, &run.tp, &run.uw, &run.vw, &run.rh})
    *g = c2m::make_grid(run.im, run.jm, run.lm);
  run.slp = c2m::make_grid(run.im, run.jm, c2m::nsfcfld);
  run.pr.assign(static_cast<std::size_t>(run.lm), 0.0f);

  run.input_name = c2m::fuzz::scratch() + "/input.bin";
  c2m::fuzz::put_file(run.input_name, data + 3, size - 3);
  try {
    c2m::read_input_file(run);
  } catch (const c2m::run_error&) {
  }
  return 0;
}

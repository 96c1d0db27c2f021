// Fuzz target: one whole conversion in a scratch directory. The input is the text of
// ./InputModelInf.txt, a NUL byte, then the input field file an.bin. Configurations
// whose fields would hold more than 100000 values are skipped, so that a fuzzed
// dimension cannot ask for gigabytes. A run that returns must have written both
// outputs at their full size.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/errors.hpp"
#include "common/grid.hpp"
#include "common/grid_config_file.hpp"
#include "common/run_state.hpp"
#include "common/work_layout.hpp"
#include "driver/conv2model.hpp"
#include "driver/grid_config.hpp"
#include "fuzz/fuzz_support.hpp"

namespace {

constexpr std::uint64_t max_field_values = 100000;
const std::string work_name = "an.bin" + std::string(c2m::layout::work_suffix);
const std::string info_name = work_name + std::string(c2m::layout::info_suffix);

// The configured dimensions when they are small enough to run; a configuration the
// reader refuses before any allocation also runs (it fails the same way in the run).
bool small_enough(const std::string& config, c2m::run_state& dims) {
  c2m::list_reader cfg(config, c2m::grid_config_path);
  try {
    c2m::read_grid_description(cfg, dims);
    const std::int32_t levels = std::max(dims.lm, std::int32_t{12});
    return c2m::grid_elements(dims.im, dims.jm, levels) <= max_field_values;
  } catch (const c2m::run_error&) {
    dims.im = 0;
    return true;
  }
}

std::size_t line_count(const char* path) {
  std::ifstream f(path);
  return static_cast<std::size_t>(
      std::count(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>(), '\n'));
}

void check_outputs(const c2m::run_state& dims) {
  const std::uint64_t points =
      static_cast<std::uint64_t>(dims.im) * static_cast<std::uint64_t>(dims.jm);
  const auto records = static_cast<std::uint64_t>(c2m::layout::record_count(dims.lm));
  if (std::filesystem::file_size(work_name) != records * points * sizeof(float)) std::abort();
  if (line_count(info_name.c_str()) != static_cast<std::size_t>(dims.lm) + 38) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  c2m::fuzz::init_once();
  static const bool in_scratch = ::chdir(c2m::fuzz::scratch().c_str()) == 0;
  if (!in_scratch) std::abort();

  const auto* text = reinterpret_cast<const char*>(data);
  const std::size_t config_size = std::find(text, text + size, '\0') - text;
  const std::string config(text, config_size);
  const std::size_t file_start = std::min(size, config_size + 1);
  c2m::run_state dims;
  if (!small_enough(config, dims)) return 0;

  std::remove(work_name.c_str());
  std::remove(info_name.c_str());
  c2m::fuzz::put_file(std::string(c2m::grid_config_file::name), config.data(), config.size());
  c2m::fuzz::put_file("an.bin", data + file_start, size - file_start);

  std::string line1 = "an.bin", line2 = "fuzz";
  line1.resize(c2m::layout::name_field, ' ');
  line2.resize(c2m::layout::name_field, ' ');
  try {
    c2m::conv2model(line1, line2);
    check_outputs(dims);
  } catch (const c2m::run_error&) {
  } catch (const c2m::data_stop&) {
  }
  return 0;
}

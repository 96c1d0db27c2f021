// Fuzz target: conv2model-prepare's GRIB reader on arbitrary bytes: the framing scan,
// the inventory's keys and the values of every field it keeps, decoded by ecCodes in a
// worker process. What ecCodes does inside a worker cannot reach this process; the
// target looks for faults of the reader itself.
#include <optional>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "companion/prepare/field_reading.hpp"
#include "companion/prepare/grib_source.hpp"
#include "companion/prepare/shared_memory.hpp"
#include "fuzz/fuzz_support.hpp"

namespace {

// One worker, and a limit below libFuzzer's -timeout of 10 s.
constexpr c2m::prepare::decode_limits limits{1, 5};
// Larger grids are left undecoded, to keep to libFuzzer's memory limit.
constexpr std::size_t most_points = std::size_t{1} << 22;

void decode_all(const std::string& path, const std::vector<c2m::prepare::source_field>& found) {
  std::vector<c2m::prepare::window> windows;
  std::vector<std::size_t> kept;  // the field of each window
  windows.reserve(found.size());
  std::size_t points = 0;
  for (std::size_t k = 0; k < found.size(); ++k) {
    if (found[k].grid.points() > most_points) continue;
    try {
      windows.push_back(c2m::prepare::make_window(found[k].grid, std::nullopt, path));
    } catch (const c2m::run_error&) {
      continue;
    }
    kept.push_back(k);
    points += std::size_t(windows.back().im) * std::size_t(windows.back().jm);
  }
  // The decoding processes place the values where the parent reads them.
  const c2m::prepare::shared_memory out(points * sizeof(float));
  std::vector<c2m::prepare::field_summary> summaries(windows.size());
  std::vector<c2m::prepare::field_load> loads;
  float* next = out.floats();
  for (std::size_t w = 0; w < windows.size(); ++w) {
    loads.push_back({&found[kept[w]], &windows[w], next, &summaries[w]});
    next += std::size_t(windows[w].im) * std::size_t(windows[w].jm);
  }
  c2m::prepare::read_fields(loads, limits, false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  c2m::fuzz::init_once();
  const std::string path = c2m::fuzz::scratch() + "/input.grib";
  c2m::fuzz::put_file(path, data, size);
  try {
    decode_all(path, c2m::prepare::grib_inventory(path, limits));
  } catch (const c2m::run_error&) {
  }
  return 0;
}

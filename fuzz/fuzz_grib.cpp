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
#include "fuzz/fuzz_support.hpp"

namespace {

// One worker, and a limit below libFuzzer's -timeout of 10 s.
constexpr c2m::prepare::decode_limits limits{1, 5};
// Larger grids are left undecoded, to keep to libFuzzer's memory limit.
constexpr std::size_t most_points = std::size_t{1} << 22;

void decode_all(const std::string& path, const std::vector<c2m::prepare::source_field>& found) {
  std::vector<c2m::prepare::window> windows;
  windows.reserve(found.size());
  std::vector<std::vector<float>> out(found.size());
  std::vector<c2m::prepare::field_summary> summaries(found.size());
  std::vector<c2m::prepare::field_load> loads;
  for (std::size_t k = 0; k < found.size(); ++k) {
    if (found[k].grid.points() > most_points) continue;
    try {
      windows.push_back(c2m::prepare::make_window(found[k].grid, std::nullopt, path));
    } catch (const c2m::run_error&) {
      continue;
    }
    out[k].resize(std::size_t(windows.back().im) * std::size_t(windows.back().jm));
    loads.push_back({&found[k], &windows.back(), out[k].data(), &summaries[k]});
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

// Fuzz target: conv2model-prepare's NetCDF reader on arbitrary bytes (netCDF-3 or
// NetCDF-4), written to a scratch file since the library reads from a path. Every field
// the inventory finds is read into the window of its whole grid, as prepare reads it.
#include <cstdlib>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "companion/prepare/netcdf_source.hpp"
#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = c2m::fuzz::scratch() + "/in.nc";
  c2m::fuzz::put_file(path, data, size);
  try {
    for (const c2m::prepare::source_field& f : c2m::prepare::netcdf_inventory(path)) {
      const c2m::prepare::window w = c2m::prepare::make_window(f.grid, std::nullopt, path);
      std::vector<float> out(static_cast<std::size_t>(w.im) * static_cast<std::size_t>(w.jm));
      c2m::prepare::netcdf_read(f, w, out.data());
    }
  } catch (const c2m::run_error&) {
  }
  return 0;
}

// Fuzz target: the companions' work file reader. The input is the text of the info
// file, a NUL byte, then the work file; both are written to a scratch directory and
// read back as conv2model-inspect reads them. A file that is read must hold the
// records its info file describes.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "common/errors.hpp"
#include "companion/common/work_file.hpp"
#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t* end = data + size;
  const std::uint8_t* nul = std::find(data, end, std::uint8_t{0});
  if (nul == end) return 0;
  const std::string path = c2m::fuzz::scratch() + "/w.ORUwrk";
  c2m::fuzz::put_file(path + std::string(c2m::layout::info_suffix), data,
                      static_cast<std::size_t>(nul - data));
  c2m::fuzz::put_file(path, nul + 1, static_cast<std::size_t>(end - nul - 1));
  try {
    const c2m::companion::work_file w = c2m::companion::read_work_file(path);
    if (w.values.size() != w.points() * static_cast<std::size_t>(w.record_count())) std::abort();
    for (int r = 1; r <= w.record_count(); ++r) (void)w.record(r);
  } catch (const c2m::run_error&) {
  }
  return 0;
}

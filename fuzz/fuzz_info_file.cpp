// Fuzz target: the info file reader (WORKFILE.gdsinfo) on arbitrary text, as the
// companions use it: parsed, its fields named, its records listed and looked up.
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/errors.hpp"
#include "companion/common/work_file.hpp"
#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const c2m::companion::grid_info info = c2m::companion::parse_grid_info(text, "fuzz.gdsinfo");
    const auto records = c2m::companion::list_records(info);
    if (records.size() != static_cast<std::size_t>(c2m::layout::record_count(info.lm)))
      std::abort();
    for (const auto& r : records) (void)c2m::companion::display_name(*r.field);
    (void)c2m::companion::find_record(info, "ta", info.lm);
    (void)c2m::companion::level_of_pressure(info, 500.0);
  } catch (const c2m::run_error&) {
  }
  return 0;
}

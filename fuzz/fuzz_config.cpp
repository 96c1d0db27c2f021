// Fuzz target: the grid configuration reader on arbitrary text (title, dimensions,
// description integers, pressures, then the configuration echo). Also checks the
// integer parser against the standard one on the first line.
#include <charconv>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/errors.hpp"
#include "common/run_state.hpp"
#include "driver/grid_config.hpp"
#include "driver/list_input.hpp"
#include "fuzz/fuzz_support.hpp"

namespace {

// parse_int32 and from_chars agree on every token that either accepts.
void check_int_parser(std::string_view token) {
  const auto mine = c2m::parse_int32(token);
  std::string_view digits = token;
  if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-') digits.remove_prefix(1);
  std::int32_t theirs = 0;
  const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), theirs);
  const bool theirs_ok = r.ec == std::errc() && r.ptr == digits.data() + digits.size();
  if (mine.has_value() != theirs_ok || (mine && *mine != theirs)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  c2m::fuzz::init_once();
  std::string text(reinterpret_cast<const char*>(data), size);
  check_int_parser(std::string_view(text).substr(0, text.find('\n')));

  c2m::list_reader cfg(std::move(text), c2m::grid_config_path);
  c2m::run_state run;
  try {
    c2m::read_grid_description(cfg, run);
    c2m::read_config_pressures(cfg, run);
    c2m::echo_grid_config(run);
  } catch (const c2m::run_error&) {
  }
  return 0;
}

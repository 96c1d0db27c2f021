#include <charconv>
#include <cmath>

#include "common/command_line_options.hpp"
#include "common/grid_config_file.hpp"
#include "common/work_layout.hpp"
#include "companion/prepare/prepare.hpp"

namespace c2m::prepare {

namespace {

constexpr std::string_view help_text =
    R"(Usage: conv2model-prepare [-o NAME] [--area N/W/S/E] [--levels LIST] [--inventory]
                          [--allow-implausible] FILE...
Write the input field file NAME and ./InputModelInf.txt for conv2model from one
analysis (one time) held in one or more GRIB 1, GRIB 2 or NetCDF files, so that
    printf 'NAME\nx\n' | conv2model
runs in the current directory.

The files are recognised by their content. Fields are recognised by what they are
(GRIB parameter codes and level types, NetCDF standard_name, ERA5 and GFS short names):
u, v, geopotential height (or geopotential), relative humidity and temperature on
pressure levels; land-sea mask, mean-sea-level and surface pressure, orography (or
surface geopotential), and four layers of soil temperature and moisture.

Options:
  -o NAME            the input field file to write (default analysis.bin)
      --area N/W/S/E cut the points within these latitudes and longitudes (degrees)
                     out of the grid, without interpolation; W may lie east of E
                     for a window across the date line or the 0 meridian
      --levels LIST  pressure levels in hPa, comma separated (default: every level
                     that all five upper-air fields have); written bottom first
      --inventory    list the fields found and where, write nothing
      --allow-implausible
                     write values outside their field's plausible range (see
                     conv2model-inspect stats) instead of stopping; values that are
                     not numbers or infinite stop it always
  -h, --help         show this help and exit
      --version      show the version and exit

Exit status: 0 on success, 1 on any failure (nothing is written then), 64 for a
wrong command line (nothing is read or written).
)";

double number(const std::string& text, const std::string& what) {
  double v = 0;
  const char* end = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || p != end || !std::isfinite(v) || text.empty())
    throw usage_error(what + ": \"" + text + "\" is not a number");
  return v;
}

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find(sep, from);
    parts.push_back(text.substr(from, at - from));
    if (at == std::string::npos) return parts;
    from = at + 1;
  }
}

constexpr cli_option option_table[] = {{"", 'o', true},
                                       {"--area", 0, true},
                                       {"--levels", 0, true},
                                       {"--inventory", 0, false},
                                       {"--allow-implausible", 0, false}};

std::string output_name(const std::string& value) {
  if (value.empty() || value.find_first_of(" \t\n") != std::string::npos ||
      value.size() > layout::longest_input_name)
    throw usage_error("-o: \"" + value + "\": conv2model needs a name without blanks, of at most " +
                      std::to_string(layout::longest_input_name) + " characters");
  if (value == grid_config_file::name || value == "./" + std::string(grid_config_file::name))
    throw usage_error("-o: the grid configuration is written as " +
                      std::string(grid_config_file::name));
  return value;
}

area area_of(const std::string& value) {
  const std::vector<std::string> p = split(value, '/');
  if (p.size() != 4) throw usage_error("--area: expected N/W/S/E, found \"" + value + "\"");
  const area c{number(p[0], "--area"), number(p[1], "--area"), number(p[2], "--area"),
               number(p[3], "--area")};
  if (c.north > 90 || c.south < -90 || c.north < c.south)
    throw usage_error("--area: north and south must lie within -90..90, north first");
  return c;
}

}  // namespace

cli_syntax command_line_syntax() {
  return cli_syntax{option_table};
}

std::string_view help() {
  return help_text;
}

options options_of(const parsed_command_line& c) {
  options opt;
  for (const auto& [name, value] : c.given) {  // in the order given: a later -o wins
    if (name == "-o") {
      opt.output = output_name(value);
    } else if (name == "--area") {
      opt.cut = area_of(value);
    } else if (name == "--levels") {
      for (const std::string& p : split(value, ',')) {
        const double l = number(p, "--levels");
        if (!(l > 0)) throw usage_error("--levels: a pressure must be positive");
        opt.levels.push_back(l);
      }
    } else if (name == "--inventory") {
      opt.inventory = true;
    } else if (name == "--allow-implausible") {
      opt.allow_implausible = true;
    }
  }
  opt.files = c.operands;
  if (opt.files.empty()) throw usage_error("no input file given");
  return opt;
}

}  // namespace c2m::prepare

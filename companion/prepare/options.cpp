#include <cmath>
#include <optional>
#include <span>
#include <vector>

#include "common/command_line_options.hpp"
#include "common/grid_config_file.hpp"
#include "common/work_layout.hpp"
#include "companion/prepare/outputs.hpp"
#include "companion/prepare/prepare.hpp"
#include "companion/prepare/time_interpolation.hpp"
#include "companion/prepare/valid_time.hpp"

namespace c2m::prepare {

namespace {

constexpr std::string_view help_text =
    R"(Usage: conv2model-prepare [OPTION]... FILE...
Write the input field file NAME and ./InputModelInf.txt for conv2model from an
analysis or forecast held in one or more GRIB 1, GRIB 2 or NetCDF files, so that
    printf 'NAME\nx\n' | conv2model
runs in the current directory.

The files are recognised by their content. Fields are recognised by what they are
(GRIB parameter codes and level types, NetCDF standard_name, ERA5 and GFS short names):
u, v, geopotential height (or geopotential), relative humidity (or specific humidity,
turned into it) and temperature on pressure levels; land-sea mask, mean-sea-level and
surface pressure, orography (or surface geopotential), and soil temperature and
moisture on any layering (four layers are kept, others mapped: see --soil-layers).
Fields are grouped by the time they are valid at; a land-sea mask or orography of
another time (an invariant file) joins every time.

Options:
)";

constexpr std::string_view help_tail = R"(
Exit status: 0 on success, 1 on any failure (nothing is written then), 64 for a
wrong command line (nothing is read or written), 128+N when ended by signal N
(temporary files removed).
)";

double number(const std::string& text, const std::string& what) {
  const std::optional<double> v = number_in(text);
  if (!v) throw usage_error(what + ": \"" + text + "\" is not a number");
  return *v;
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

long member_of(const std::string& value) {
  const double m = number(value, "--member");
  if (m != std::floor(m) || m < 0 || m > 1e6)
    throw usage_error("--member: \"" + value + "\" is not a member number");
  return static_cast<long>(m);
}

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

std::vector<double> levels_of(const std::string& value) {
  std::vector<double> levels;
  for (const std::string& p : split(value, ',')) {
    const double l = number(p, "--levels");
    if (!(l > 0)) throw usage_error("--levels: a pressure must be positive");
    levels.push_back(l);
  }
  return levels;
}

int jobs_of(const std::string& value) {
  const double n = number(value, "--jobs");
  if (n < 1 || n > 1024 || n != std::floor(n))
    throw usage_error("--jobs: \"" + value + "\" is not a count from 1 to 1024");
  return static_cast<int>(n);
}

double decode_limit_of(const std::string& value) {
  const double s = number(value, "--decode-limit");
  if (!(s > 0) || s > 86400)
    throw usage_error("--decode-limit: \"" + value + "\" is not a time from 0 to 86400 s");
  return s;
}

std::int64_t duration_of(const std::string& value, const std::string& what) {
  const std::optional<std::int64_t> m = duration_minutes(value);
  if (!m)
    throw usage_error(what + ": \"" + value +
                      "\" is not a duration of whole minutes up to 366 days (1h, 30m, 3h, 1h30m)");
  return *m;
}

using rule = option_rule<options>;
using k = value_kind;

// The options, in the order the help lists them; each sets its part of the options.
const rule rules[] = {
    {{"", 'o', k::file, "NAME",
      "the input field file to write (default analysis.bin); with\n"
      "several times a pattern: %Y %m %d %H %M stand for the valid\n"
      "time, %% for a percent sign (gfs_%Y%m%d%H.bin)",
      "*.bin"},
     [](options& o, const std::string& v) { o.output = output_name(v); }},
    {{"--area", 0, k::word_list, "N/W/S/E",
      "cut the points within these latitudes and longitudes (degrees)\n"
      "out of the grid, without interpolation; W may lie east of E\n"
      "for a window across the date line or the 0 meridian; the\n"
      "area must lie on the grid and hold two rows and two columns;\n"
      "with --grid, the area of the grid interpolated onto"},
     [](options& o, const std::string& v) { o.cut = area_of(v); }},
    {{"--grid", 0, k::word_list, "D|DLAT/DLON",
      "interpolate every field onto a regular latitude/longitude grid\n"
      "of this spacing (degrees) over --area, or else the largest\n"
      "such grid inside the source's coverage: from Gaussian, reduced,\n"
      "rotated, Lambert, polar stereographic and Mercator grids and\n"
      "regular ones of another spacing; winds along the grid's axes\n"
      "turned to east and north, soil over land from land points"},
     [](options& o, const std::string& v) { o.grid = regrid::parse_spacing(v); }},
    {{"--levels", 0, k::word_list, "LIST",
      "pressure levels in hPa, comma separated (default: every level\n"
      "that all five upper-air fields have); written bottom first"},
     [](options& o, const std::string& v) { o.levels = levels_of(v); }},
    {{"--time", 0, k::time, "T", "of several valid times, prepare T (2011-01-15T12, 2011011512)"},
     [](options& o, const std::string& v) { o.time = v; }},
    {{"--each-time", 0, k::none, "",
      "prepare every valid time, one input field file each (named by\n"
      "the -o pattern) and one InputModelInf.txt for all"},
     [](options& o, const std::string&) { o.each_time = true; }},
    {{"--interval", 0, k::word, "DURATION",
      "with --each-time: one file per time from the first valid time\n"
      "to the last at this interval (1h, 30m, 3h, 1h30m); a time\n"
      "between two held times is the linear interpolation in time of\n"
      "every field"},
     [](options& o, const std::string& v) { o.interval = duration_of(v, "--interval"); }},
    {{"--max-gap", 0, k::word, "DURATION",
      "refuse to interpolate between held times further apart than\n"
      "this (default 6h)"},
     [](options& o, const std::string& v) { o.max_gap = duration_of(v, "--max-gap"); }},
    {{"--member", 0, k::count, "N", "of an ensemble, prepare member N (the control forecast is 0)"},
     [](options& o, const std::string& v) { o.member = member_of(v); }},
    {{"--soil-layers", 0, k::word_list, "LIST",
      "the four soil layers in cm (default: the source's own four,\n"
      "else 0-10,10-40,40-100,100-200) that soil of another layering\n"
      "is mapped onto, such as 0-7,7-28,28-100,100-289"},
     [](options& o, const std::string& v) { o.soil_layers = soil_layers_of(v); }},
    {{"--allow-holes", 0, k::none, "",
      "accept points without data (a GRIB bitmap, a fill value; a NaN\n"
      "is a value, never accepted), soil layers absent and, with\n"
      "--grid, soil at land points far from any land of the source,\n"
      "saying what conv2model does with them"},
     [](options& o, const std::string&) { o.allow_holes = true; }},
    {{"--allow-implausible", 0, k::none, "",
      "write values outside their field's plausible range (see\n"
      "conv2model-inspect stats) instead of stopping; values that are\n"
      "not numbers or infinite stop it always"},
     [](options& o, const std::string&) { o.allow_implausible = true; }},
    {{"--inventory", 0, k::none, "",
      "list the valid times, the fields found and where; write nothing"},
     [](options& o, const std::string&) { o.inventory = true; }},
    {{"--jobs", 'j', k::count, "N",
      "read the fields (GRIB messages, NetCDF variables) in N\n"
      "processes at once (default: the cores this process may use)"},
     [](options& o, const std::string& v) { o.jobs = jobs_of(v); }},
    {{"--decode-limit", 0, k::number, "SECONDS",
      "refuse a field that takes longer than this to read, as\n"
      "damaged (default 60)"},
     [](options& o, const std::string& v) { o.decode_seconds = decode_limit_of(v); }},
};

}  // namespace

std::span<const cli_option> option_table() {
  static const std::vector<cli_option> table =
      table_of(std::span<const option_rule<options>>(rules));
  return table;
}

std::string help() {
  return std::string(help_text) + options_help(option_table(), 21) + std::string(help_tail);
}

options options_of(const parsed_command_line& c) {
  options opt;
  apply_options(c, std::span<const option_rule<options>>(rules), opt);
  opt.files = c.operands;
  if (opt.files.empty()) throw usage_error("no input file given");
  if (opt.time && opt.each_time) throw usage_error("--time and --each-time exclude each other");
  if (opt.interval && !opt.each_time)
    throw usage_error("--interval writes a series: give it with --each-time");
  if (c.has("--max-gap") && !opt.interval)
    throw usage_error("--max-gap bounds --interval: give both");
  if (opt.interval) check_pattern_for_interval(opt.output, *opt.interval);
  name_for_time(opt.output, "2000-01-01T00:00Z");  // refuses an unknown % sequence
  return opt;
}

}  // namespace c2m::prepare

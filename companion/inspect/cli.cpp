#include "companion/inspect/cli.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>

#include "common/errors.hpp"
#include "common/version.hpp"
#include "companion/common/work_file.hpp"
#include "companion/inspect/compare.hpp"
#include "companion/inspect/grid_axes.hpp"
#include "companion/inspect/netcdf_export.hpp"
#include "companion/inspect/png_export.hpp"
#include "companion/inspect/stats.hpp"

namespace c2m::inspect {

namespace {

constexpr const char* program = "conv2model-inspect";

constexpr const char* main_help = R"(Usage: conv2model-inspect COMMAND [OPTION]... ARGUMENT...
Look into a conv2model work file before a forecast is run on it.

Every command reads WORKFILE together with its info file WORKFILE.gdsinfo, which
gives the level count, the level pressures, the grid and the order of the fields.
A work file whose size does not match its info file is refused.

Commands:
  stats WORKFILE                      statistics of every record, with range flags
  compare A B                         compare two work files record by record
  netcdf WORKFILE OUT.nc              export to a CF-1.8 NetCDF-4 file
  png WORKFILE FIELD [LEVEL] OUT.png  quick-look picture of one record

Options:
  -h, --help     show this help and exit
      --version  show the version and exit

'conv2model-inspect COMMAND --help' describes a command.

Exit status: 0 on success, 1 when compare finds differences, 2 on an error.
)";

constexpr const char* stats_help = R"(Usage: conv2model-inspect stats [--histogram] WORKFILE
Print one line per record of WORKFILE: record number, field, level and its pressure
in hPa for the 3-D fields, minimum, maximum and mean over the valid points, and the
counts of points holding the missing value -99999, NaN and 0.0. Valid points are
those that are neither -99999 nor NaN nor infinite.

The last column flags NaN and infinite points and valid values out of the field's
plausible range:
  ua va    winds outside -150..150 m/s     zg      height outside -1000..80000 m
  hus      humidity outside 0..0.05 kg/kg  ta      outside 150..350 K
  sftlf    land-sea mask other than 0, 1   psl     outside 850..1100 hPa
  ps       outside 300..1100 hPa           orog    outside -450..9000 m
  tsl1-4   outside 150..350 K              mrsov1-4 outside 0..1

Options:
      --histogram  add below each record the counts of its valid points in ten
                   equal bins from its minimum to its maximum
  -h, --help       show this help and exit
      --version    show the version and exit
)";

constexpr const char* compare_help = R"(Usage: conv2model-inspect compare [--tolerance X] A B
Compare the work files A and B, with their info files, record by record. For each
record that differs print how many points differ by more than X, the largest
absolute difference, where it is (i, j from 1: i west to east, j as stored, south
to north for conv2model's grids), the two values there and the root mean square
difference over the points valid in both files; then how many points hold a value in
one file and the missing value -99999 in the other ("against missing"), and the
first of them. Differences of the info files (grid, level pressures, grid
description integers, field names) are listed first; records are compared only
when both grids and level counts agree. The last line says whether the files are
identical, match within X, or differ.

Two NaNs count as equal; a NaN against a number counts as an infinite difference.

Options:
      --tolerance X  largest difference still counted as equal (default 0: exact)
  -h, --help         show this help and exit
      --version      show the version and exit

Exit status: 0 when the files match within X, 1 when they differ, 2 on an error.
)";

constexpr const char* netcdf_help = R"(Usage: conv2model-inspect netcdf [OPTION]... WORKFILE OUT.nc
Write WORKFILE as a CF-1.8 NetCDF-4 file. Coordinates: lat (degrees_north), lon
(degrees_east), plev (pressure in Pa, positive down, level 1 = the bottom first, as
in the work file), the soil axis, and time with --time. Variables, with long_name,
units, standard_name and _FillValue -99999:
  ua va zg hus ta      winds, geopotential height, specific humidity, temperature
                       on (plev, lat, lon)
  sftlf psl ps orog    land-sea mask, mean-sea-level and surface pressure (in Pa:
                       the work file's hPa x 100), topography on (lat, lon)
  tsl mrsov            soil temperature and volumetric soil moisture, the four
                       layers on a soil axis
All other values are the work file's own, bit for bit. Each variable carries the
attributes CDO turns into a GRIB parameter when it writes GRIB (cdo -f grb copy),
'code' and 'table' (WMO table 2) for GRIB 1 or 'param' for GRIB 2: CDO reads 'code'
before 'param', so only one edition can be described.

The grid runs evenly from the first grid point to the last (kgds 4, 5, 7, 8), as
GRIB 1 decoders take it; increments that disagree with those points by more than
their rounding, and a scanning mode that disagrees with their order, are reported
as warnings. It must be a latitude/longitude grid (kgds(1) = 0). OUT.nc is replaced
only once the new file is complete.

Options:
      --time T            analysis time, such as 2024-01-15T00:00 (UTC): adds a
                          time coordinate of one step
      --soil-depths D     depths of the bottoms of the four soil layers in metres,
                          such as 0.1,0.4,1,2: the soil axis becomes depth (cm,
                          with bounds); without it the layers are numbered 1 to 4
                          and their depths stated as unknown
      --grib-edition N    1 (default) or 2: which GRIB attributes to write
  -h, --help              show this help and exit
      --version           show the version and exit
)";

constexpr const char* png_help =
    R"(Usage: conv2model-inspect png [OPTION]... WORKFILE FIELD [LEVEL] OUT.png
Draw one record of WORKFILE as a quick-look picture: north up, a degree of longitude
as wide as a degree of latitude, latitude and longitude ticks, the coastline drawn
from the work file's own land-sea mask, missing points (-99999, NaN, infinite) in
grey, and a labelled colour bar. Winds are coloured blue to red through white at
zero, the other fields on the viridis scale; specific humidity is shown in g/kg.
By default the colours run from the smallest to the largest value, leaving out a
few outlying points (fewer than one in two hundred at either end, far beyond the
rest); points beyond the colour range take its end colours, and the bar shows a
triangle at that end.

FIELD is a name. 3-D fields take a LEVEL from 1 (the bottom, highest pressure) to
the level count, or --hpa:
  ua    zonal wind                 va    meridional wind
  zg    geopotential height        hus   specific humidity
  ta    temperature
Surface fields take no LEVEL:
  sftlf land-sea mask              psl   mean-sea-level pressure
  ps    surface pressure           orog  topography
  tsl1 tsl2 tsl3 tsl4        soil temperature, layers 1 to 4
  mrsov1 mrsov2 mrsov3 mrsov4  soil moisture, layers 1 to 4
The older names uw vw ht q tp lsm mslp psfc topo st1..st4 sm1..sm4 work too.

Options:
      --hpa P     the level whose pressure is P hPa, instead of LEVEL
      --min X     the value at the low end of the colours (in the units shown)
      --max X     the value at the high end of the colours
  -h, --help      show this help and exit
      --version   show the version and exit
)";

// A mistake on the command line: reported with a pointer to the help.
struct usage_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct command_line {
  std::vector<std::string> operands;
  bool help = false;
  bool version = false;
  std::vector<std::string> flags;                           // given options without a value
  std::vector<std::pair<std::string, std::string>> values;  // given options with a value

  bool has(const std::string& flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
  }
  std::optional<std::string> value(const std::string& option) const {
    std::optional<std::string> v;
    for (const auto& [name, text] : values)
      if (name == option) v = text;  // the last one given counts
    return v;
  }
};

// Splits the arguments of one command into options and operands; "--" ends the options.
// An option with a value takes it from the next argument or after "=".
command_line parse(std::span<const std::string> args, std::initializer_list<const char*> flags,
                   std::initializer_list<const char*> valued) {
  command_line c;
  bool options = true;
  const auto among = [](std::initializer_list<const char*> list, const std::string& name) {
    for (const char* o : list)
      if (name == o) return true;
    return false;
  };
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (!options || a == "-" || !a.starts_with("-")) {
      c.operands.push_back(a);
      continue;
    }
    if (a == "--") {
      options = false;
      continue;
    }
    if (a == "-h" || a == "--help") {
      c.help = true;
      continue;
    }
    if (a == "--version") {
      c.version = true;
      continue;
    }
    const std::size_t eq = a.find('=');
    const std::string name = a.substr(0, eq);
    if (among(flags, name) && eq == std::string::npos) {
      c.flags.push_back(name);
    } else if (among(valued, name)) {
      if (eq != std::string::npos)
        c.values.emplace_back(name, a.substr(eq + 1));
      else if (k + 1 == args.size())
        throw usage_error("option " + name + " needs a value");
      else
        c.values.emplace_back(name, args[++k]);
    } else {
      throw usage_error("unknown option " + a);
    }
  }
  return c;
}

void expect_operands(const command_line& c, std::size_t least, std::size_t most) {
  if (c.operands.size() < least) throw usage_error("missing operand");
  if (c.operands.size() > most) throw usage_error("extra operand " + c.operands[most]);
}

// A finite number, the whole of text.
std::optional<double> parse_number(const std::string& text) {
  char* end = nullptr;
  const double x = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(x)) return std::nullopt;
  return x;
}

double parse_tolerance(const std::optional<std::string>& text) {
  if (!text) return 0.0;
  const std::optional<double> x = parse_number(*text);
  if (!x || *x < 0.0)
    throw usage_error("tolerance must be a number of at least 0, not '" + *text + "'");
  return *x;
}

std::optional<double> number_option(const command_line& c, const std::string& option) {
  const std::optional<std::string> text = c.value(option);
  if (!text) return std::nullopt;
  const std::optional<double> x = parse_number(*text);
  if (!x) throw usage_error(option + " must be a number, not '" + *text + "'");
  return x;
}

// The command line as a shell would take it back, for the history of an exported file.
std::string quoted_command(const std::string& name, std::span<const std::string> args) {
  std::string line = std::string(program) + " " + name;
  for (const std::string& a : args) {
    const bool plain = !a.empty() && a.find_first_not_of(
                                         "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLM"
                                         "NOPQRSTUVWXYZ0123456789-_./:=,+@%") == std::string::npos;
    if (plain) {
      line += " " + a;
      continue;
    }
    line += " '";
    for (const char ch : a) line += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    line += "'";
  }
  return line;
}

// The grid's notes (increments that disagree with the end points, a scanning mode that
// disagrees with their order), once, as warnings.
void warn_about_grid(const work_file& w, std::ostream& err) {
  try {
    for (const std::string& note : make_axes(w.info, w.info_path()).notes)
      err << program << ": warning: " << note << '\n';
  } catch (const run_error&) {
    // Not a latitude/longitude grid: the command itself says so where it matters.
  }
}

std::int32_t parse_level(const std::string& text) {
  std::int32_t level = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), level);
  if (ec != std::errc{} || end != text.data() + text.size() || level < 1)
    throw usage_error("LEVEL must be a whole number from 1, not '" + text + "'");
  return level;
}

int print_version(std::ostream& out) {
  out << program << ' ' << version << '\n';
  return exit_ok;
}

int run_stats(std::span<const std::string> args, std::ostream& out, std::ostream&) {
  const command_line c = parse(args, {"--histogram"}, {});
  if (c.help) return out << stats_help, exit_ok;
  if (c.version) return print_version(out);
  expect_operands(c, 1, 1);
  print_stats(read_work_file(c.operands[0]), c.has("--histogram"), out);
  return exit_ok;
}

int run_compare(std::span<const std::string> args, std::ostream& out, std::ostream&) {
  const command_line c = parse(args, {}, {"--tolerance"});
  if (c.help) return out << compare_help, exit_ok;
  if (c.version) return print_version(out);
  expect_operands(c, 2, 2);
  const double tolerance = parse_tolerance(c.value("--tolerance"));
  const work_file a = read_work_file(c.operands[0]);
  const work_file b = read_work_file(c.operands[1]);
  const comparison result = compare_work_files(a, b, tolerance);
  print_comparison(result, a, b, tolerance, out);
  return result.match() ? exit_ok : exit_differ;
}

netcdf_options netcdf_options_of(const command_line& c, std::span<const std::string> args) {
  netcdf_options options;
  try {
    if (const auto t = c.value("--time")) options.time = parse_analysis_time(*t);
    if (const auto d = c.value("--soil-depths")) options.soil_depths = parse_soil_depths(*d);
  } catch (const run_error& e) {
    throw usage_error(e.what());
  }
  if (const auto g = c.value("--grib-edition")) {
    if (*g != "1" && *g != "2")
      throw usage_error("--grib-edition must be 1 or 2, not '" + *g + "'");
    options.grib_edition = *g == "1" ? 1 : 2;
  }
  options.command_line = quoted_command("netcdf", args);
  return options;
}

int run_netcdf(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  const command_line c = parse(args, {}, {"--time", "--soil-depths", "--grib-edition"});
  if (c.help) return out << netcdf_help, exit_ok;
  if (c.version) return print_version(out);
  expect_operands(c, 2, 2);
  const netcdf_options options = netcdf_options_of(c, args);
  const work_file w = read_work_file(c.operands[0]);
  warn_about_grid(w, err);
  export_netcdf(w, c.operands[1], options);
  return exit_ok;
}

int run_png(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  const command_line c = parse(args, {}, {"--hpa", "--min", "--max"});
  if (c.help) return out << png_help, exit_ok;
  if (c.version) return print_version(out);
  const std::optional<double> hpa = number_option(c, "--hpa");
  expect_operands(c, 3, hpa ? 3 : 4);
  const bool level_given = c.operands.size() == 4;
  picture_options options;
  options.min = number_option(c, "--min");
  options.max = number_option(c, "--max");
  if (options.min && options.max && !(*options.min < *options.max))
    throw usage_error("--min must be below --max");
  std::int32_t level = level_given ? parse_level(c.operands[2]) : 0;
  const work_file w = read_work_file(c.operands[0]);
  if (hpa) level = level_of_pressure(w.info, *hpa);
  const record_id r = find_record(w.info, c.operands[1], level);
  warn_about_grid(w, err);
  write_quicklook(w, r, options, c.operands.back());
  return exit_ok;
}

using command_runner = int (*)(std::span<const std::string>, std::ostream&, std::ostream&);

struct command {
  const char* name;
  command_runner run;
};

constexpr command commands[] = {
    {"stats", run_stats}, {"compare", run_compare}, {"netcdf", run_netcdf}, {"png", run_png}};

const command* find_command(const std::string& name) {
  for (const command& c : commands)
    if (name == c.name) return &c;
  return nullptr;
}

int run_command(const std::string& name, std::span<const std::string> args, std::ostream& out,
                std::ostream& err) {
  const command* c = find_command(name);
  if (c == nullptr) throw usage_error("unknown command '" + name + "'");
  return c->run(args, out, err);
}

}  // namespace

int inspect_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << program << ": missing command\nTry '" << program << " --help'.\n";
    return exit_error;
  }
  const std::string& name = args[0];
  int status = exit_error;
  try {
    if (name == "-h" || name == "--help")
      status = (out << main_help, exit_ok);
    else if (name == "--version")
      status = print_version(out);
    else
      status = run_command(name, std::span(args).subspan(1), out, err);
  } catch (const usage_error& e) {
    const bool known = find_command(name) != nullptr;
    const std::string where = known ? std::string(program) + " " + name : program;
    err << where << ": " << e.what() << "\nTry '" << where << " --help'.\n";
    return exit_error;
  } catch (const run_error& e) {
    err << program << ": " << e.what() << '\n';
    return exit_error;
  } catch (const std::bad_alloc&) {
    err << program << ": out of memory\n";
    return exit_error;
  }
  if (!out.flush()) {
    err << program << ": cannot write standard output\n";
    return exit_error;
  }
  return status;
}

}  // namespace c2m::inspect

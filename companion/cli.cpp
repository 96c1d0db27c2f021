#include "companion/cli.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <new>
#include <span>
#include <stdexcept>

#include "common/errors.hpp"
#include "common/version.hpp"
#include "companion/compare.hpp"
#include "companion/netcdf_export.hpp"
#include "companion/png_export.hpp"
#include "companion/stats.hpp"
#include "companion/work_file.hpp"

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

The last column flags valid values out of a plausible range: temperature (tp,
st1..st4) outside 150..350 K, negative specific humidity (q), a land-sea mask (lsm)
other than 0 or 1, soil moisture (sm1..sm4) outside 0..1; and infinite values.

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
to north for conv2model's grids) and the two values there. Differences of the info
files (grid, level pressures, grid description integers, field names) are listed
first; records are compared only when both grids and level counts agree.

Two NaNs count as equal; a NaN against a number counts as an infinite difference.

Options:
      --tolerance X  largest difference still counted as equal (default 0: exact)
  -h, --help         show this help and exit
      --version      show the version and exit

Exit status: 0 when the files match within X, 1 when they differ, 2 on an error.
)";

constexpr const char* netcdf_help = R"(Usage: conv2model-inspect netcdf WORKFILE OUT.nc
Write WORKFILE as a CF-1.8 NetCDF-4 file with the dimensions level, lat and lon:
the coordinate variables lat (degrees_north), lon (degrees_east) and level (pressure
in Pa, positive down), then the five 3-D fields (level, lat, lon) and the twelve
surface fields (lat, lon) under their short names (see 'png --help'), with long_name
and units from the info file and _FillValue -99999. Level 1 is the bottom, as in
the work file. There is no time dimension: the work file carries no date.

The grid comes from the description integers: first point, increments (or the last
point), scanning mode; it must be a latitude/longitude grid (kgds(1) = 0). OUT.nc is
replaced only once the new file is complete.

Options:
  -h, --help     show this help and exit
      --version  show the version and exit
)";

constexpr const char* png_help =
    R"(Usage: conv2model-inspect png WORKFILE FIELD [LEVEL] OUT.png
Draw one record of WORKFILE as a quick-look picture: north up, coloured on the
viridis scale from the record's minimum (dark violet) to its maximum (yellow),
missing points (-99999, NaN, infinite) in grey, with a colour bar labelled with the
minimum and the maximum. A small grid is enlarged, a very large one thinned.

FIELD is a short name. 3-D fields take a LEVEL from 1 (the bottom, highest
pressure) to the level count:
  uw    zonal wind                 vw    meridional wind
  ht    geopotential height        q     specific humidity
  tp    temperature
Surface fields take no LEVEL:
  lsm   land-sea mask              mslp  mean-sea-level pressure
  psfc  surface pressure           topo  topography
  st1 st2 st3 st4   soil temperature, layers 1 to 4
  sm1 sm2 sm3 sm4   soil moisture, layers 1 to 4

Options:
  -h, --help     show this help and exit
      --version  show the version and exit
)";

// A mistake on the command line: reported with a pointer to the help.
struct usage_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct command_line {
  std::vector<std::string> operands;
  bool help = false;
  bool version = false;
  bool histogram = false;
  std::string tolerance;
};

// Splits the arguments of one command into options and operands; "--" ends the options.
command_line parse(std::span<const std::string> args, bool takes_histogram, bool takes_tolerance) {
  command_line c;
  bool options = true;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (!options || a == "-" || !a.starts_with("-")) {
      c.operands.push_back(a);
    } else if (a == "--") {
      options = false;
    } else if (a == "-h" || a == "--help") {
      c.help = true;
    } else if (a == "--version") {
      c.version = true;
    } else if (takes_histogram && a == "--histogram") {
      c.histogram = true;
    } else if (takes_tolerance && a == "--tolerance") {
      if (k + 1 == args.size()) throw usage_error("option --tolerance needs a value");
      c.tolerance = args[++k];
    } else if (takes_tolerance && a.starts_with("--tolerance=")) {
      c.tolerance = a.substr(12);
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

double parse_tolerance(const std::string& text) {
  if (text.empty()) return 0.0;
  char* end = nullptr;
  const double x = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(x) || x < 0.0)
    throw usage_error("tolerance must be a number of at least 0, not '" + text + "'");
  return x;
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

int run_command(const std::string& name, std::span<const std::string> args, std::ostream& out) {
  if (name == "stats") {
    const command_line c = parse(args, true, false);
    if (c.help) return out << stats_help, exit_ok;
    if (c.version) return print_version(out);
    expect_operands(c, 1, 1);
    print_stats(read_work_file(c.operands[0]), c.histogram, out);
    return exit_ok;
  }
  if (name == "compare") {
    const command_line c = parse(args, false, true);
    if (c.help) return out << compare_help, exit_ok;
    if (c.version) return print_version(out);
    expect_operands(c, 2, 2);
    const double tolerance = parse_tolerance(c.tolerance);
    const work_file a = read_work_file(c.operands[0]);
    const work_file b = read_work_file(c.operands[1]);
    const comparison result = compare_work_files(a, b, tolerance);
    print_comparison(result, a, b, tolerance, out);
    return result.match() ? exit_ok : exit_differ;
  }
  if (name == "netcdf") {
    const command_line c = parse(args, false, false);
    if (c.help) return out << netcdf_help, exit_ok;
    if (c.version) return print_version(out);
    expect_operands(c, 2, 2);
    export_netcdf(read_work_file(c.operands[0]), c.operands[1]);
    return exit_ok;
  }
  if (name == "png") {
    const command_line c = parse(args, false, false);
    if (c.help) return out << png_help, exit_ok;
    if (c.version) return print_version(out);
    expect_operands(c, 3, 4);
    const bool level_given = c.operands.size() == 4;
    const std::int32_t level = level_given ? parse_level(c.operands[2]) : 0;
    const work_file w = read_work_file(c.operands[0]);
    const record_id r = find_record(w.info, c.operands[1], level);
    write_png(render_quicklook(w, r), c.operands.back());
    return exit_ok;
  }
  throw usage_error("unknown command '" + name + "'");
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
      status = run_command(name, std::span(args).subspan(1), out);
  } catch (const usage_error& e) {
    const bool known = name == "stats" || name == "compare" || name == "netcdf" || name == "png";
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

#include <charconv>
#include <cmath>
#include <stdexcept>

#include "common/version.hpp"
#include "companion/prepare/prepare.hpp"

namespace c2m::prepare {

namespace {

constexpr const char* help =
    R"(Usage: conv2model-prepare [-o NAME] [--area N/W/S/E] [--levels LIST] [--inventory]
                          [-j N] [--decode-limit SECONDS] FILE...
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
  -j, --jobs N       decode GRIB messages in N processes at once (default: the
                     cores this process may use)
      --decode-limit SECONDS
                     refuse a GRIB message that takes longer than this to
                     decode as damaged (default 60)
  -h, --help         show this help and exit
      --version      show the version and exit

Exit status: 0 on success, 1 on any failure (nothing is written then).
)";

double number(const std::string& text, const std::string& what) {
  double v = 0;
  const char* end = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || p != end || !std::isfinite(v) || text.empty())
    throw std::invalid_argument(what + ": \"" + text + "\" is not a number");
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

}  // namespace

std::optional<options> parse_options(const std::vector<std::string>& args, std::ostream& out) {
  options opt;
  for (std::size_t k = 0; k < args.size(); ++k) {
    std::string a = args[k];
    std::string value;
    const bool has_value = a == "-o" || a == "--area" || a == "--levels" || a == "-j" ||
                           a == "--jobs" || a == "--decode-limit";
    if (a.rfind("--area=", 0) == 0 || a.rfind("--levels=", 0) == 0 || a.rfind("--jobs=", 0) == 0 ||
        a.rfind("--decode-limit=", 0) == 0) {
      value = a.substr(a.find('=') + 1);
      a = a.substr(0, a.find('='));
    } else if (a.size() > 2 && a.rfind("-j", 0) == 0) {
      value = a.substr(2);
      a = "-j";
    } else if (has_value) {
      if (++k == args.size()) throw std::invalid_argument("option " + a + " needs a value");
      value = args[k];
    }
    if (a == "-h" || a == "--help") {
      out << help;
      return std::nullopt;
    } else if (a == "--version") {
      out << "conv2model-prepare " << version << '\n';
      return std::nullopt;
    } else if (a == "-o") {
      if (value.empty() || value.find_first_of(" \t\n") != std::string::npos || value.size() > 239)
        throw std::invalid_argument("-o: \"" + value +
                                    "\": conv2model needs a name without blanks, of at most "
                                    "239 characters");
      if (value == "InputModelInf.txt" || value == "./InputModelInf.txt")
        throw std::invalid_argument("-o: the grid configuration is written as InputModelInf.txt");
      opt.output = value;
    } else if (a == "--area") {
      const std::vector<std::string> p = split(value, '/');
      if (p.size() != 4)
        throw std::invalid_argument("--area: expected N/W/S/E, found \"" + value + "\"");
      area c{number(p[0], "--area"), number(p[1], "--area"), number(p[2], "--area"),
             number(p[3], "--area")};
      if (c.north > 90 || c.south < -90 || c.north < c.south)
        throw std::invalid_argument("--area: north and south must lie within -90..90, north first");
      opt.cut = c;
    } else if (a == "--levels") {
      for (const std::string& p : split(value, ',')) {
        const double l = number(p, "--levels");
        if (!(l > 0)) throw std::invalid_argument("--levels: a pressure must be positive");
        opt.levels.push_back(l);
      }
    } else if (a == "--inventory") {
      opt.inventory = true;
    } else if (a == "-j" || a == "--jobs") {
      const double n = number(value, a);
      if (n < 1 || n > 1024 || n != std::floor(n))
        throw std::invalid_argument(a + ": \"" + value + "\" is not a count from 1 to 1024");
      opt.jobs = static_cast<int>(n);
    } else if (a == "--decode-limit") {
      opt.decode_seconds = number(value, a);
      if (!(opt.decode_seconds > 0) || opt.decode_seconds > 86400)
        throw std::invalid_argument(a + ": \"" + value + "\" is not a time from 0 to 86400 s");
    } else if (a.size() > 1 && a[0] == '-') {
      throw std::invalid_argument("unknown option " + a + " (see --help)");
    } else {
      opt.files.push_back(a);
    }
  }
  if (opt.files.empty()) throw std::invalid_argument("no input file given (see --help)");
  return opt;
}

}  // namespace c2m::prepare

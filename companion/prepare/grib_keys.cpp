#include "companion/prepare/grib_keys.hpp"

#include <array>
#include <cmath>
#include <cstdio>

#include "common/errors.hpp"

namespace c2m::prepare {

void grib_keys::fail(const char* key, int err) const {
  throw run_error(what_ + ": " +
                  (err == CODES_NOT_FOUND ? std::string("has no key ") + key
                                          : std::string("cannot read the key ") + key + ": " +
                                                codes_get_error_message(err)) +
                  " (is the message complete?)");
}

long grib_keys::need_long(const char* key) const {
  long v = 0;
  if (const int err = codes_get_long(h_, key, &v)) fail(key, err);
  return v;
}

double grib_keys::need_double(const char* key) const {
  double v = 0;
  if (const int err = codes_get_double(h_, key, &v)) fail(key, err);
  return v;
}

std::string grib_keys::need_string(const char* key) const {
  char buf[256] = {};
  std::size_t len = sizeof buf;
  if (const int err = codes_get_string(h_, key, buf, &len)) fail(key, err);
  return buf;
}

std::optional<long> grib_keys::optional_long(const char* key) const {
  if (!codes_is_defined(h_, key)) return std::nullopt;
  int err = 0;
  const int missing = codes_is_missing(h_, key, &err);
  if (err) fail(key, err);
  if (missing) return std::nullopt;
  return need_long(key);
}

std::optional<std::string> grib_keys::optional_string(const char* key) const {
  if (!codes_is_defined(h_, key)) return std::nullopt;
  return need_string(key);
}

namespace {

// Points along one axis beyond any analysis (a millidegree grid has 360000); keeps
// the count of points far from overflow.
constexpr long most_along_axis = 1000000;

// A fixed surface of GRIB 2 in its unit (Pa for pressure, m for depth); nothing when
// the value is coded missing. A missing scale factor means the value is unscaled.
std::optional<double> surface_value(const grib_keys& k, const char* factor, const char* value) {
  const std::optional<long> v = k.optional_long(value);
  if (!v) return std::nullopt;
  const long f = k.optional_long(factor).value_or(0);
  return double(*v) * std::pow(10.0, double(-f));
}

std::string number_text(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

level_info grib1_level(const grib_keys& k) {
  level_info l;
  switch (k.need_long("indicatorOfTypeOfLevel")) {
    case 100:
      l.kind = level_kind::isobaric;
      l.hpa = double(k.need_long("level"));
      l.text = number_text(l.hpa) + " hPa";
      break;
    case 1:
      l.kind = level_kind::surface;
      l.text = "surface";
      break;
    case 102:
      l.kind = level_kind::mean_sea;
      l.text = "mean sea level";
      break;
    case 112: {
      // Depths in cm; a bottom of 255 is GRIB 1's "missing".
      l.kind = level_kind::soil;
      const long top = k.need_long("topLevel");
      l.top = double(top) / 100.0;
      const std::optional<long> bottom = k.optional_long("bottomLevel");
      l.bottom_missing = !bottom || *bottom == 255;
      l.bottom = l.bottom_missing ? 0.0 : double(*bottom) / 100.0;
      l.text = std::to_string(top);
      if (!l.bottom_missing) l.text.append("-").append(std::to_string(bottom.value_or(0)));
      l.text.append(" cm below ground");
      // Not a depth but a layer whose bottom is lost: nothing can be made of it.
      if (l.bottom_missing) l.text.append(", no bottom given");
      l.depths_unknown = l.bottom_missing;
      break;
    }
    default:
      l.text = "level type " + std::to_string(k.need_long("indicatorOfTypeOfLevel"));
      break;
  }
  return l;
}

// Soil levels (type 151): the layer between levels k - 1 and k of the centre's
// layering, its depths from the table of codes where it knows the centre's.
void soil_levels(const grib_keys& k, long centre, level_info& l) {
  l.kind = level_kind::soil;
  const std::optional<long> first = k.optional_long("scaledValueOfFirstFixedSurface");
  const std::optional<long> second = k.optional_long("typeOfSecondFixedSurface") == 151
                                         ? k.optional_long("scaledValueOfSecondFixedSurface")
                                         : std::nullopt;
  const long below = first.value_or(-1), above = second.value_or(-1);
  l.text = "soil level ";
  l.text.append(below >= 0 ? std::to_string(below) : "missing");
  if (above >= 0) l.text.append("-").append(std::to_string(above));
  const std::optional<std::array<double, 2>> depths =
      below >= 0 && above == below + 1 && above <= 1000
          ? companion::centre_soil_layer(static_cast<int>(centre), static_cast<int>(above))
          : std::nullopt;
  if (!depths) {
    l.depths_unknown = true;
    l.text += " of centre " + std::to_string(centre) + "'s layering, whose depths are not known";
    return;
  }
  l.top = (*depths)[0];
  l.bottom = (*depths)[1];
  l.text += " (" + number_text(l.top) + "-" + number_text(l.bottom) + " m below ground)";
}

level_info grib2_level(const grib_keys& k, long centre) {
  level_info l;
  const char* first_factor = "scaleFactorOfFirstFixedSurface";
  const char* first_value = "scaledValueOfFirstFixedSurface";
  const long type = k.need_long("typeOfFirstFixedSurface");
  switch (type) {
    case 100: {
      const std::optional<double> pa = surface_value(k, first_factor, first_value);
      if (!pa) throw run_error(k.what() + ": an isobaric level without its pressure");
      l.kind = level_kind::isobaric;
      l.hpa = *pa / 100.0;
      l.text = number_text(l.hpa) + " hPa";
      break;
    }
    case 1:
      l.kind = level_kind::surface;
      l.text = "surface";
      break;
    case 101:
      l.kind = level_kind::mean_sea;
      l.text = "mean sea level";
      break;
    case 106: {
      l.kind = level_kind::soil;
      l.top = surface_value(k, first_factor, first_value).value_or(0.0);
      const std::optional<double> bottom = k.optional_long("typeOfSecondFixedSurface") == 106
                                               ? surface_value(k, "scaleFactorOfSecondFixedSurface",
                                                               "scaledValueOfSecondFixedSurface")
                                               : std::nullopt;
      l.bottom_missing = !bottom;
      l.bottom = bottom.value_or(0.0);
      l.text = number_text(l.top);
      if (bottom) l.text.append("-").append(number_text(l.bottom));
      l.text.append(" m below ground");
      break;
    }
    case 151:
      soil_levels(k, centre, l);
      break;
    default:
      l.text = "level type " + std::to_string(type);
      break;
  }
  return l;
}

std::string grid_name(const std::string& type) {
  if (type == "regular_gg" || type == "reduced_gg") return "a Gaussian grid (" + type + ")";
  if (type == "lambert") return "a Lambert conformal grid (" + type + ")";
  if (type == "rotated_ll") return "a rotated latitude/longitude grid (" + type + ")";
  if (type == "polar_stereographic") return "a polar stereographic grid (" + type + ")";
  if (type == "sh") return "spherical harmonics (" + type + ")";
  return "a grid of type " + (type.empty() ? std::string("unknown") : type);
}

std::string date_time_text(long date, long time) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04ld-%02ld-%02ldT%02ld:%02ldZ", date / 10000, date / 100 % 100,
                date % 100, time / 100, time % 100);
  return buf;
}

}  // namespace

message_code decode_code(const grib_keys& k) {
  message_code code;
  code.edition = k.need_long("edition");
  code.centre = k.optional_long("centre").value_or(0);
  if (code.edition == 1) {
    code.category = k.need_long("table2Version");
    code.number = k.need_long("indicatorOfParameter");
  } else {
    code.discipline = k.need_long("discipline");
    code.category = k.need_long("parameterCategory");
    code.number = k.need_long("parameterNumber");
  }
  return code;
}

level_info decode_level(const grib_keys& k, long edition, long centre) {
  return edition == 1 ? grib1_level(k) : grib2_level(k, centre);
}

latlon_grid decode_grid(const grib_keys& k) {
  const std::string type = k.need_string("gridType");
  // Spherical harmonics are no grid: CDO turns them into a Gaussian one first.
  if (type == "sh")
    throw run_error(k.what() + " is on " + grid_name(type) +
                    "; conv2model-prepare reads regular latitude/longitude grids only. Turn it "
                    "into a Gaussian grid and that into a regular one with CDO first: cdo sp2gp "
                    "in.grb gg.grb, then cdo remapbil,r1440x721 gg.grb out.grb");
  if (type != "regular_ll")
    throw run_error(k.what() + " is on " + grid_name(type) +
                    "; conv2model-prepare reads regular latitude/longitude grids only, or "
                    "interpolates onto one with --grid D (D degrees, such as --grid 0.25). Or "
                    "regrid it first with CDO, for example to a quarter-degree global grid: cdo "
                    "remapbil,r1440x721 in.grb out.grb (or remapbil,GRIDFILE for a regional "
                    "grid)");
  latlon_grid g;
  g.ni = k.need_long("Ni");
  g.nj = k.need_long("Nj");
  g.lat_first = k.need_double("latitudeOfFirstGridPointInDegrees");
  g.lon_first = k.need_double("longitudeOfFirstGridPointInDegrees");
  const double lat_last = k.need_double("latitudeOfLastGridPointInDegrees");
  const double lon_last = k.need_double("longitudeOfLastGridPointInDegrees");
  g.i_negative = k.need_long("iScansNegatively") != 0;
  g.j_positive = k.need_long("jScansPositively") != 0;
  g.j_consecutive = k.need_long("jPointsAreConsecutive") != 0;
  // GRIB 1 has no such flag: its rows all run one way.
  if (k.optional_long("alternativeRowScanning").value_or(0) != 0)
    throw run_error(k.what() +
                    " scans alternate rows in opposite directions, which is not supported");
  if (g.ni < 2 || g.nj < 2)
    throw run_error(k.what() + ": the grid has " + std::to_string(g.ni) + " x " +
                    std::to_string(g.nj) + " points; two or more in each direction are needed");
  if (g.ni > most_along_axis || g.nj > most_along_axis)
    throw run_error(k.what() + ": the grid has " + std::to_string(g.ni) + " x " +
                    std::to_string(g.nj) + " points, more than any analysis (damaged?)");
  // The increments from the corner points: exact where the coded increments are
  // rounded to millidegrees, and there where the increments are not given.
  double span_i = g.i_negative ? g.lon_first - lon_last : lon_last - g.lon_first;
  while (span_i <= 0) span_i += 360.0;
  g.di = span_i / double(g.ni - 1);
  g.dj = std::fabs(lat_last - g.lat_first) / double(g.nj - 1);
  if (!(g.dj > 0)) throw run_error(k.what() + ": the grid's first and last latitudes are equal");
  if ((lat_last > g.lat_first) != g.j_positive)
    throw run_error(k.what() + ": the grid's corner latitudes contradict its scanning flags");
  return g;
}

message_time decode_time(const grib_keys& k) {
  message_time t;
  t.valid = date_time_text(k.need_long("validityDate"), k.need_long("validityTime"));
  t.reference = date_time_text(k.need_long("dataDate"), k.need_long("dataTime"));
  // An ensemble member names its number; a deterministic run has none.
  if (k.optional_long("perturbationNumber")) t.member = k.optional_long("perturbationNumber");
  return t;
}

}  // namespace c2m::prepare

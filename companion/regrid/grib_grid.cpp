#include "companion/regrid/grib_grid.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "common/errors.hpp"

namespace c2m::regrid {

namespace {

// Beyond this many points a grid is damaged, not an analysis.
constexpr std::size_t most_points = 200'000'000;

std::optional<long> get_long(codes_handle* h, const char* key) {
  long v = 0;
  if (codes_get_long(h, key, &v) != 0 || v == GRIB_MISSING_LONG) return std::nullopt;
  return v;
}

std::optional<double> get_double(codes_handle* h, const char* key) {
  double v = 0;
  if (codes_get_double(h, key, &v) != 0 || v == GRIB_MISSING_DOUBLE || !std::isfinite(v))
    return std::nullopt;
  return v;
}

std::string get_string(codes_handle* h, const char* key) {
  char buf[256] = {};
  std::size_t len = sizeof buf;
  if (codes_get_string(h, key, buf, &len) != 0) return "";
  return std::string(buf);
}

struct keys {
  codes_handle* h;
  const std::string& what;
  long need_long(const char* key) const {
    const std::optional<long> v = get_long(h, key);
    if (!v) throw run_error(what + ": the grid has no " + key);
    return *v;
  }
  double need_double(const char* key) const {
    const std::optional<double> v = get_double(h, key);
    if (!v) throw run_error(what + ": the grid has no " + key);
    return *v;
  }
};

std::vector<double> coordinates(codes_handle* h, const char* key, const std::string& what) {
  std::size_t n = 0;
  if (codes_get_size(h, key, &n) != 0 || n == 0 || n > most_points)
    throw run_error(what + ": ecCodes gives no " + key + " for the grid's points");
  std::vector<double> v(n);
  if (codes_get_double_array(h, key, v.data(), &n) != 0 || n != v.size())
    throw run_error(what + ": ecCodes gives no " + key + " for the grid's points");
  return v;
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

// The earth of the message as PROJ words: a sphere's radius or an ellipsoid's axes.
std::string earth(const keys& k) {
  if (get_long(k.h, "earthIsOblate").value_or(0) == 0)
    return " +R=" + number(k.need_double("radius"));
  const std::optional<double> a = get_double(k.h, "earthMajorAxisInMetres"),
                              b = get_double(k.h, "earthMinorAxisInMetres");
  if (a && b) return " +a=" + number(*a) + " +b=" + number(*b);
  switch (k.need_long("shapeOfTheEarth")) {
    case 2:
      return " +a=6378160 +rf=297";
    case 4:
      return " +ellps=GRS80";
    case 5:
      return " +ellps=WGS84";
    default:
      throw run_error(k.what + ": the grid's earth (shapeOfTheEarth " +
                      std::to_string(k.need_long("shapeOfTheEarth")) + ") is not read here");
  }
}

void refuse_other_scanning(const keys& k) {
  if (get_long(k.h, "jPointsAreConsecutive").value_or(0) != 0 ||
      get_long(k.h, "alternativeRowScanning").value_or(0) != 0)
    throw run_error(k.what +
                    " stores its points column by column or alternate rows in opposite "
                    "directions, which --grid does not read; reorder it first with CDO: cdo "
                    "copy in.grb out.grb");
}

std::string sized(const char* kind, std::int64_t ni, std::int64_t nj) {
  return std::string(kind) + " of " + std::to_string(ni) + " x " + std::to_string(nj) + " points";
}

// Rows of points along latitude circles, from ecCodes' coordinates of every point.
source_grid rows_from_coordinates(const keys& k, const std::string& name) {
  const std::vector<double> lat = coordinates(k.h, "latitudes", k.what),
                            lon = coordinates(k.h, "longitudes", k.what);
  if (lat.size() != lon.size()) throw run_error(k.what + ": ecCodes' coordinates disagree");
  const double sign = get_long(k.h, "iScansNegatively").value_or(0) != 0 ? -1.0 : 1.0;
  std::vector<grid_row> rows;
  for (std::size_t p = 0; p < lat.size();) {
    std::size_t q = p + 1;
    while (q < lat.size() && lat[q] == lat[p]) ++q;
    grid_row r;
    r.lat = lat[p];
    r.first_lon = lon[p];
    r.offset = p;
    r.count = static_cast<std::int64_t>(q - p);
    if (r.count == 1) {
      r.step = 360.0;
      r.round_the_earth = true;
    } else {
      double span = std::fmod(sign * (lon[q - 1] - lon[p]), 360.0);
      if (span <= 0) span += 360.0;
      const double step = span / double(r.count - 1);
      r.step = sign * step;
      if (std::fabs(double(r.count) * step - 360.0) < 0.5 * step) {
        r.round_the_earth = true;
      } else if (std::fabs(span - 360.0) < 1e-3 * step) {
        // The last point repeats the first one round the earth.
        r.count -= 1;
        r.step = sign * 360.0 / double(r.count);
        r.round_the_earth = true;
      }
    }
    rows.push_back(r);
    p = q;
  }
  // Named before the rows move away.
  std::string named = name + " (" + std::to_string(rows.size()) + " rows, " +
                      std::to_string(lat.size()) + " points)";
  return source_grid::rows(std::move(named), std::move(rows), false);
}

source_grid rotated(const keys& k) {
  const std::int64_t ni = k.need_long("Ni"), nj = k.need_long("Nj");
  if (ni < 2 || nj < 2 || std::size_t(ni) * std::size_t(nj) > most_points)
    throw run_error(k.what + ": a rotated grid of " + std::to_string(ni) + " x " +
                    std::to_string(nj) + " points");
  if (std::fabs(get_double(k.h, "angleOfRotationInDegrees").value_or(0)) > 0)
    throw run_error(k.what + ": a rotated grid turned about its pole is not read here");
  const double lat0 = k.need_double("latitudeOfFirstGridPointInDegrees"),
               lon0 = k.need_double("longitudeOfFirstGridPointInDegrees"),
               lat1 = k.need_double("latitudeOfLastGridPointInDegrees"),
               lon1 = k.need_double("longitudeOfLastGridPointInDegrees");
  const double sign = k.need_long("iScansNegatively") != 0 ? -1.0 : 1.0;
  double span = std::fmod(sign * (lon1 - lon0), 360.0);
  if (span <= 0) span += 360.0;
  const double di = sign * span / double(ni - 1), dj = (lat1 - lat0) / double(nj - 1);
  std::vector<grid_row> rows(static_cast<std::size_t>(nj));
  for (std::int64_t j = 0; j < nj; ++j)
    rows[std::size_t(j)] = {lat0 + double(j) * dj, lon0, di, ni, std::size_t(j * ni), false};
  const rotation pole{k.need_double("latitudeOfSouthernPoleInDegrees"),
                      k.need_double("longitudeOfSouthernPoleInDegrees")};
  return source_grid::rows(sized("a rotated latitude/longitude grid (rotated_ll)", ni, nj) +
                               ", southern pole at " + number(pole.south_pole_lat) + " N " +
                               number(pole.south_pole_lon) + " E",
                           std::move(rows), true, pole);
}

source_grid plane(const keys& k, const std::string& type) {
  const bool lambert = type == "lambert", mercator = type == "mercator";
  const std::int64_t ni = k.need_long(mercator ? "Ni" : "Nx"),
                     nj = k.need_long(mercator ? "Nj" : "Ny");
  if (ni < 2 || nj < 2 || std::size_t(ni) * std::size_t(nj) > most_points)
    throw run_error(k.what + ": a projected grid of " + std::to_string(ni) + " x " +
                    std::to_string(nj) + " points");
  const double lat0 = k.need_double("latitudeOfFirstGridPointInDegrees"),
               lon0 = k.need_double("longitudeOfFirstGridPointInDegrees");
  double dx = k.need_double(mercator ? "DiInMetres" : "DxInMetres"),
         dy = k.need_double(mercator ? "DjInMetres" : "DyInMetres");
  if (k.need_long("iScansNegatively") != 0) dx = -dx;
  if (k.need_long("jScansPositively") == 0) dy = -dy;
  std::string def, name;
  if (lambert) {
    const double latin1 = k.need_double("Latin1InDegrees"),
                 latin2 = get_double(k.h, "Latin2InDegrees").value_or(latin1);
    def = "+proj=lcc +lat_1=" + number(latin1) + " +lat_2=" + number(latin2) +
          " +lat_0=" + number(get_double(k.h, "LaDInDegrees").value_or(latin1)) +
          " +lon_0=" + number(k.need_double("LoVInDegrees"));
    name = sized("a Lambert conformal grid (lambert)", ni, nj);
  } else if (mercator) {
    const double lon1 = k.need_double("longitudeOfLastGridPointInDegrees");
    double span = std::fmod(lon1 - lon0, 360.0);
    if (span < 0) span += 360.0;
    def = "+proj=merc +lat_ts=" + number(get_double(k.h, "LaDInDegrees").value_or(0)) +
          " +lon_0=" + number(lon0 + span / 2);
    name = sized("a Mercator grid (mercator)", ni, nj);
  } else {
    const long centre = get_long(k.h, "projectionCentreFlag").value_or(0);
    const bool south = get_long(k.h, "southPoleOnProjectionPlane").value_or((centre & 128) != 0);
    def = std::string("+proj=stere +lat_0=") + (south ? "-90" : "90") +
          " +lat_ts=" + number(get_double(k.h, "LaDInDegrees").value_or(south ? -60 : 60)) +
          " +lon_0=" + number(k.need_double("orientationOfTheGridInDegrees"));
    name = sized("a polar stereographic grid (polar_stereographic)", ni, nj);
  }
  return source_grid::plane(name, def + earth(k), ni, nj, lat0, lon0, dx, dy);
}

// Every point (or an even sample of a large grid) must fall on itself: a grid read
// wrongly would otherwise interpolate from the wrong places without a word.
void check_against_eccodes(source_grid& g, const keys& k) {
  const std::vector<double> lat = coordinates(k.h, "latitudes", k.what),
                            lon = coordinates(k.h, "longitudes", k.what);
  if (lat.size() != g.points() || lon.size() != g.points())
    throw run_error(k.what + ": " + g.name() + " has " + std::to_string(g.points()) +
                    " points, ecCodes places " + std::to_string(lat.size()));
  const std::size_t stride = std::max<std::size_t>(1, lat.size() / 20000);
  for (std::size_t p = 0; p < lat.size(); p += stride) {
    const cell c = g.locate(lat[p], lon[p]);
    double own = 0;
    for (const corner& q : c.c)
      if (q.index == p) own += q.weight;
    if (!c.inside || own < 0.98)
      throw run_error(k.what + ": " + g.name() + ": its point " + std::to_string(p) + " at " +
                      number(lat[p]) + " N " + number(lon[p]) +
                      " E does not fall on itself; the grid cannot be located");
  }
  g.set_coordinates(std::vector<float>(lat.begin(), lat.end()),
                    std::vector<float>(lon.begin(), lon.end()));
}

}  // namespace

source_grid grib_grid(codes_handle* h, const std::string& what) {
  const keys k{h, what};
  const std::string type = get_string(h, "gridType");
  if (type == "sh")
    throw run_error(what +
                    " is in spherical harmonics (sh), which have no grid points; turn it into "
                    "a Gaussian grid first with CDO: cdo sp2gp in.grb out.grb");
  if (type == "unstructured_grid")
    throw run_error(what +
                    " is on ICON's triangles (unstructured_grid), which carry no coordinates "
                    "in the message; regrid it first with CDO and ICON's grid file: cdo "
                    "remapcon,r1440x721 -setgrid,ICON_GRID_FILE.nc in.grb out.grb");
  source_grid g = [&] {
    if (type == "regular_ll" || type == "regular_gg" || type == "reduced_gg" ||
        type == "reduced_ll") {
      refuse_other_scanning(k);
      const char* kind = type == "regular_ll"   ? "a regular latitude/longitude grid"
                         : type == "reduced_ll" ? "a reduced latitude/longitude grid"
                         : type == "regular_gg" ? "a regular Gaussian grid"
                                                : "a reduced Gaussian grid";
      return rows_from_coordinates(k, std::string(kind) + " (" + type + ")");
    }
    if (type == "rotated_ll") {
      refuse_other_scanning(k);
      return rotated(k);
    }
    if (type == "lambert" || type == "polar_stereographic" || type == "mercator") {
      refuse_other_scanning(k);
      return plane(k, type);
    }
    throw run_error(what + " is on a grid of type " + (type.empty() ? "unknown" : type) +
                    ", which --grid cannot locate; regrid it first with CDO: cdo "
                    "remapbil,r1440x721 in.grb out.grb");
  }();
  check_against_eccodes(g, k);
  return g;
}

std::string grib_grid_identity(codes_handle* h) {
  return get_string(h, "gridType") + " " + get_string(h, "md5GridSection") + " " +
         std::to_string(get_long(h, "numberOfDataPoints").value_or(-1));
}

bool grib_winds_along_grid(codes_handle* h) {
  return get_long(h, "uvRelativeToGrid").value_or(0) != 0;
}

}  // namespace c2m::regrid

#include "companion/prepare/latlon_grid.hpp"

#include <cmath>
#include <cstdio>

#include "common/errors.hpp"

namespace c2m::prepare {

namespace {

bool close(double a, double b, double step) {
  return std::fabs(a - b) <= 1e-3 * step;
}

// Longitude brought into [from, from + 360).
double wrap_from(double lon, double from) {
  double d = std::fmod(lon - from, 360.0);
  if (d < 0) d += 360.0;
  return from + d;
}

std::string degrees(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

}  // namespace

bool latlon_grid::global_in_longitude() const {
  return close(double(ni) * di, 360.0, di);
}

bool latlon_grid::same_as(const latlon_grid& o) const {
  return ni == o.ni && nj == o.nj && close(di, o.di, di) && close(dj, o.dj, dj) &&
         close(south(), o.south(), dj) && close(wrap_from(west(), o.west() - di / 2), o.west(), di);
}

std::string latlon_grid::describe() const {
  return std::to_string(ni) + " x " + std::to_string(nj) + ", " + degrees(west()) + " to " +
         degrees(west() + di * double(ni - 1)) + " E, " + degrees(south()) + " to " +
         degrees(south() + dj * double(nj - 1)) + " N, step " + degrees(di) + " x " + degrees(dj);
}

std::int32_t millidegrees(double degrees_value, const std::string& what) {
  const double m = degrees_value * 1000.0;
  const double r = std::round(m);
  // Coordinates stored as floats are off by up to 0.015 millidegrees near 360 degrees.
  if (!(std::fabs(m - r) <= 0.05) || std::fabs(r) > 1e9)
    throw run_error(what + ": " + degrees(degrees_value) +
                    " degrees is not a whole number of millidegrees, which the grid "
                    "description needs");
  return static_cast<std::int32_t>(r);
}

window make_window(const latlon_grid& g, const std::optional<area>& cut, const std::string& what) {
  window w;
  const double south = g.south(), west = g.west();
  std::int64_t nlon = g.ni, nlat = g.nj;
  if (cut) {
    if (cut->north < cut->south)
      throw run_error(what + ": the area's north edge lies south of its south edge");
    // Rows: the latitudes within [S, N].
    const double tol = 1e-3 * g.dj;
    std::int64_t first = static_cast<std::int64_t>(std::ceil((cut->south - south - tol) / g.dj));
    std::int64_t last = static_cast<std::int64_t>(std::floor((cut->north - south + tol) / g.dj));
    if (first < 0) first = 0;
    if (last > g.nj - 1) last = g.nj - 1;
    // Columns: the longitudes within [W, E], going east from W, across 0/360 on a grid
    // that goes round the earth. d is a column's distance east of W.
    double span = cut->east - cut->west;
    if (span < 0) span += 360.0;
    if (span >= 360.0) span = 360.0 - g.di / 2;
    const double tol_i = 1e-3 * g.di;
    const auto east_of_w = [&](std::int64_t k) {
      return wrap_from(west + double(k) * g.di, cut->west - tol_i) - cut->west;
    };
    std::int64_t i_first = 0;
    for (std::int64_t k = 1; k < g.ni; ++k)
      if (east_of_w(k) < east_of_w(i_first)) i_first = k;
    const bool round = g.global_in_longitude();
    std::int64_t n = 0;
    while (n < g.ni && (round || i_first + n < g.ni) &&
           east_of_w((i_first + n) % g.ni) <= span + tol_i &&
           (n == 0 || east_of_w((i_first + n) % g.ni) > east_of_w(i_first)))
      ++n;
    if (last < first || n <= 0)
      throw run_error(what + ": the area " + degrees(cut->north) + "/" + degrees(cut->west) + "/" +
                      degrees(cut->south) + "/" + degrees(cut->east) +
                      " holds no point of the grid " + g.describe());
    w.j0 = first;
    w.i0 = i_first;
    nlat = last - first + 1;
    nlon = n;
  }
  if (nlon > INT32_MAX || nlat > INT32_MAX)
    throw run_error(what + ": the grid is too large for the input field file");
  w.im = static_cast<std::int32_t>(nlon);
  w.jm = static_cast<std::int32_t>(nlat);

  // The grid description of the points written. The first longitude keeps the sign the
  // user chose for the area's west edge (-20 rather than 340); the last one is east of it.
  double lon1 = west + double(w.i0) * g.di;
  if (cut) lon1 = wrap_from(lon1, cut->west - 1e-3 * g.di);
  const double lat1 = south + double(w.j0) * g.dj;
  w.kgds.representation_type() = 0;
  w.kgds.lat_first() = millidegrees(lat1, what);
  w.kgds.lon_first() = millidegrees(lon1, what);
  w.kgds.lat_last() = millidegrees(lat1 + double(w.jm - 1) * g.dj, what);
  w.kgds.lon_last() = millidegrees(lon1 + double(w.im - 1) * g.di, what);
  w.kgds.di() = millidegrees(g.di, what);
  w.kgds.dj() = millidegrees(g.dj, what);

  // Where each written point lies in the stored values.
  w.col.resize(static_cast<std::size_t>(w.im));
  w.row.resize(static_cast<std::size_t>(w.jm));
  for (std::int32_t i = 0; i < w.im; ++i) {
    const std::int64_t we = (w.i0 + i) % g.ni;  // west-to-east column
    const std::int64_t si = g.i_negative ? g.ni - 1 - we : we;
    w.col[static_cast<std::size_t>(i)] = static_cast<std::size_t>(g.j_consecutive ? si * g.nj : si);
  }
  for (std::int32_t j = 0; j < w.jm; ++j) {
    const std::int64_t sn = w.j0 + j;  // south-to-north row
    const std::int64_t sj = g.j_positive ? sn : g.nj - 1 - sn;
    w.row[static_cast<std::size_t>(j)] = static_cast<std::size_t>(g.j_consecutive ? sj : sj * g.ni);
  }
  return w;
}

}  // namespace c2m::prepare

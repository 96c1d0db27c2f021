#include "companion/prepare/latlon_grid.hpp"

#include <algorithm>
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

bool latlon_grid::repeats_seam() const {
  return ni > 2 && close(double(ni - 1) * di, 360.0, di);
}

std::int64_t latlon_grid::columns() const {
  return repeats_seam() ? ni - 1 : ni;
}

bool latlon_grid::global_in_longitude() const {
  return close(double(columns()) * di, 360.0, di);
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

namespace {

struct run {
  std::int64_t first = 0, count = 0;
};

std::string area_text(const area& a) {
  return degrees(a.north) + "/" + degrees(a.west) + "/" + degrees(a.south) + "/" + degrees(a.east);
}

[[noreturn]] void refuse(const std::string& what, const area& cut, const latlon_grid& g,
                         const std::string& why) {
  throw run_error(what + ": the area " + area_text(cut) + " " + why + " of the grid " +
                  g.describe());
}

// The rows within [S, N], edges included; the area must lie on the grid.
run rows_within(const latlon_grid& g, const area& cut, const std::string& what) {
  const double tol = 1e-3 * g.dj, south = g.south();
  const double north = south + g.dj * double(g.nj - 1);
  if (cut.south < south - tol || cut.north > north + tol)
    refuse(what, cut, g, "reaches beyond the latitudes");
  const auto first = static_cast<std::int64_t>(std::ceil((cut.south - south - tol) / g.dj));
  const auto last = static_cast<std::int64_t>(std::floor((cut.north - south + tol) / g.dj));
  if (last - first + 1 < 2) refuse(what, cut, g, "holds fewer than two rows");
  return {first, last - first + 1};
}

// The columns within [W, E] going east from W, across the seam of a grid that goes round
// the earth (whose repeated seam column counts once); the area must lie on the grid.
run columns_within(const latlon_grid& g, const area& cut, const std::string& what) {
  const double tol = 1e-3 * g.di, west = g.west();
  const std::int64_t n = g.columns();
  double span = cut.east - cut.west;
  if (span < 0) span += 360.0;
  const bool round = g.global_in_longitude();
  if (round && cut.east - cut.west >= 360.0 - tol) return {0, n};
  // W as a distance east of the grid's west edge, within one turn.
  const double w = wrap_from(cut.west, west - tol) - west;
  if (!round && w + span > double(n - 1) * g.di + tol)
    refuse(what, cut, g, "reaches beyond the longitudes");
  const auto first = static_cast<std::int64_t>(std::ceil((w - tol) / g.di));
  const auto last = static_cast<std::int64_t>(std::floor((w + span + tol) / g.di));
  const std::int64_t count = std::min(last - first + 1, n);
  if (count < 2) refuse(what, cut, g, "holds fewer than two columns");
  return {first % n, count};
}

// Where each written point lies in the stored values.
void index_window(window& w, const latlon_grid& g) {
  w.col.resize(static_cast<std::size_t>(w.im));
  w.row.resize(static_cast<std::size_t>(w.jm));
  for (std::int32_t i = 0; i < w.im; ++i) {
    const std::int64_t we = (w.i0 + i) % g.columns();  // west-to-east column
    const std::int64_t si = g.i_negative ? g.ni - 1 - we : we;
    w.col[static_cast<std::size_t>(i)] = static_cast<std::size_t>(g.j_consecutive ? si * g.nj : si);
  }
  for (std::int32_t j = 0; j < w.jm; ++j) {
    const std::int64_t sn = w.j0 + j;  // south-to-north row
    const std::int64_t sj = g.j_positive ? sn : g.nj - 1 - sn;
    w.row[static_cast<std::size_t>(j)] = static_cast<std::size_t>(g.j_consecutive ? sj : sj * g.ni);
  }
}

}  // namespace

window make_window(const latlon_grid& g, const std::optional<area>& cut, const std::string& what) {
  window w;
  run rows{0, g.nj}, cols{0, g.columns()};
  if (cut) {
    if (cut->north < cut->south)
      throw run_error(what + ": the area's north edge lies south of its south edge");
    rows = rows_within(g, *cut, what);
    cols = columns_within(g, *cut, what);
  }
  if (cols.count > INT32_MAX || rows.count > INT32_MAX)
    throw run_error(what + ": the grid is too large for the input field file");
  w.im = static_cast<std::int32_t>(cols.count);
  w.jm = static_cast<std::int32_t>(rows.count);
  w.i0 = cols.first;
  w.j0 = rows.first;

  // The grid description: the first longitude in [-180, 180), the last one east of it
  // by the window's width (so below 540); latitudes south to north.
  const double lon1 = wrap_from(g.west() + double(w.i0) * g.di, -180.0);
  const double lat1 = g.south() + double(w.j0) * g.dj;
  w.kgds.representation_type() = 0;
  w.kgds.lat_first() = millidegrees(lat1, what);
  w.kgds.lon_first() = millidegrees(lon1, what);
  w.kgds.lat_last() = millidegrees(lat1 + double(w.jm - 1) * g.dj, what);
  w.kgds.lon_last() = millidegrees(lon1 + double(w.im - 1) * g.di, what);
  w.kgds.di() = millidegrees(g.di, what);
  w.kgds.dj() = millidegrees(g.dj, what);
  index_window(w, g);
  return w;
}

}  // namespace c2m::prepare

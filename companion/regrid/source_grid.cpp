#include "companion/regrid/source_grid.hpp"

#include <proj.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "common/errors.hpp"

namespace c2m::regrid {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double deg = pi / 180.0;
constexpr double km_per_degree = 6371.229 * deg;
// Points on the edge of the coverage, whose coordinates the file rounds, are inside.
constexpr double edge = 1e-4;  // index units

double wrap360(double d) {
  d = std::fmod(d, 360.0);
  return d < 0 ? d + 360.0 : d;
}

double wrap180(double d) {
  d = wrap360(d + 180.0);
  return d - 180.0;
}

// (i0, t): the cell [i0, i0 + 1] holding position p of an axis of n points, or false
// outside it.
bool along_axis(double p, std::int64_t n, std::int64_t& i0, double& t) {
  if (!(p >= -edge && p <= double(n - 1) + edge)) return false;
  p = std::clamp(p, 0.0, double(n - 1));
  i0 = std::min(static_cast<std::int64_t>(p), n - 2);
  t = p - double(i0);
  return true;
}

}  // namespace

class projection {
 public:
  explicit projection(const std::string& definition)
      : ctx_(proj_context_create()), pj_(proj_create(ctx_, definition.c_str())) {
    if (pj_ == nullptr) {
      const std::string why = proj_context_errno_string(ctx_, proj_context_errno(ctx_));
      proj_context_destroy(ctx_);
      throw run_error("PROJ refuses the projection " + definition + ": " + why);
    }
  }
  projection(const projection&) = delete;
  projection& operator=(const projection&) = delete;
  ~projection() {
    proj_destroy(pj_);
    proj_context_destroy(ctx_);
  }

  // The plane coordinates (metres) of a geographic point, or false where the
  // projection has none (the far pole of a polar stereographic plane).
  bool forward(double lat, double lon, double& x, double& y) const {
    proj_errno_reset(pj_);
    const PJ_COORD r = proj_trans(pj_, PJ_FWD, proj_coord(lon * deg, lat * deg, 0, 0));
    x = r.xy.x;
    y = r.xy.y;
    return std::isfinite(x) && std::isfinite(y) && x != HUGE_VAL && y != HUGE_VAL &&
           proj_errno(pj_) == 0;
  }

 private:
  PJ_CONTEXT* ctx_;
  PJ* pj_;
};

source_grid::source_grid(source_grid&&) noexcept = default;
source_grid& source_grid::operator=(source_grid&&) noexcept = default;
source_grid::~source_grid() = default;

source_grid source_grid::rows(std::string name, std::vector<grid_row> rows, bool rotated,
                              rotation pole) {
  if (rows.size() < 2) throw run_error(name + ": fewer than two rows");
  source_grid g;
  g.name_ = std::move(name);
  g.rows_ = std::move(rows);
  g.rotated_ = rotated;
  g.pole_ = pole;
  for (const grid_row& r : g.rows_)
    g.points_ = std::max(g.points_, r.offset + std::size_t(r.count));
  g.by_lat_.resize(g.rows_.size());
  for (std::size_t k = 0; k < g.by_lat_.size(); ++k) g.by_lat_[k] = k;
  std::sort(g.by_lat_.begin(), g.by_lat_.end(),
            [&](std::size_t a, std::size_t b) { return g.rows_[a].lat < g.rows_[b].lat; });
  for (std::size_t k = 1; k < g.by_lat_.size(); ++k)
    if (!(g.rows_[g.by_lat_[k]].lat > g.rows_[g.by_lat_[k - 1]].lat))
      throw run_error(g.name_ + ": two rows at latitude " +
                      std::to_string(g.rows_[g.by_lat_[k]].lat));
  bool round = g.by_lat_.size() >= 2;
  for (const grid_row& r : g.rows_) round = round && r.round_the_earth;
  if (round && !rotated) {
    // A Gaussian grid stops short of the poles: its outermost rows stand for the caps.
    const double south = g.rows_[g.by_lat_.front()].lat, north = g.rows_[g.by_lat_.back()].lat;
    const double south_gap = g.rows_[g.by_lat_[1]].lat - south;
    const double north_gap = north - g.rows_[g.by_lat_[g.by_lat_.size() - 2]].lat;
    g.caps_ = south + 90.0 <= south_gap + 1e-9 && 90.0 - north <= north_gap + 1e-9;
  }
  g.global_ = g.caps_;
  return g;
}

source_grid source_grid::plane(std::string name, const std::string& proj_definition,
                               std::int64_t ni, std::int64_t nj, double first_lat, double first_lon,
                               double dx, double dy) {
  if (ni < 2 || nj < 2 || !(std::fabs(dx) > 0) || !(std::fabs(dy) > 0))
    throw run_error(name + ": a plane grid needs two points and a step in each direction");
  source_grid g;
  g.name_ = std::move(name);
  g.proj_ = std::make_unique<projection>(proj_definition);
  g.plane_ = {ni, nj, 0, 0, dx, dy};
  if (!g.proj_->forward(first_lat, first_lon, g.plane_.x0, g.plane_.y0))
    throw run_error(g.name_ + ": its first point has no place in the projection");
  g.points_ = std::size_t(ni) * std::size_t(nj);
  return g;
}

void source_grid::to_native(double lat, double lon, double& a, double& b) const {
  if (!rotated_) {
    a = lat;
    b = lon;
    return;
  }
  // Turn the sphere so that the rotated grid's southern pole becomes the South Pole.
  const double lam = (lon - pole_.south_pole_lon) * deg, phi = lat * deg;
  const double x = std::cos(phi) * std::cos(lam), y = std::cos(phi) * std::sin(lam),
               z = std::sin(phi);
  const double theta = (90.0 + pole_.south_pole_lat) * deg;
  const double xr = std::cos(theta) * x + std::sin(theta) * z;
  const double zr = -std::sin(theta) * x + std::cos(theta) * z;
  a = std::asin(std::clamp(zr, -1.0, 1.0)) / deg;
  b = std::atan2(y, xr) / deg;
}

std::size_t source_grid::row_point(const grid_row& r, std::int64_t k) const {
  if (r.round_the_earth) k = ((k % r.count) + r.count) % r.count;
  return r.offset + std::size_t(k);
}

namespace {

// Position of longitude `lon` along a row (in steps from its first point), or false
// off a row that does not go round the earth.
bool row_position(const grid_row& r, double lon, double& p) {
  const double d = wrap360(r.step > 0 ? lon - r.first_lon : r.first_lon - lon);
  p = d / std::fabs(r.step);
  if (r.round_the_earth) return true;
  if (p <= double(r.count - 1) + edge) return true;
  if ((360.0 - d) / std::fabs(r.step) <= edge) {
    p = 0;
    return true;
  }
  return false;
}

}  // namespace

cell source_grid::row_cell(double lat, double lon) const {
  cell out;
  const double south = rows_[by_lat_.front()].lat, north = rows_[by_lat_.back()].lat;
  std::size_t lo = 0, hi = 0;
  double tl = 0;
  if (lat <= south || lat >= north) {
    const double limit = lat <= south ? south : north;
    const double gap = std::fabs(rows_[by_lat_[1]].lat - rows_[by_lat_[0]].lat);
    if (!caps_ && std::fabs(lat - limit) > edge * gap) return out;
    lo = hi = lat <= south ? 0 : by_lat_.size() - 1;
  } else {
    const auto it = std::upper_bound(by_lat_.begin(), by_lat_.end(), lat,
                                     [&](double v, std::size_t k) { return v < rows_[k].lat; });
    hi = std::size_t(it - by_lat_.begin());
    lo = hi - 1;
    tl = (lat - rows_[by_lat_[lo]].lat) / (rows_[by_lat_[hi]].lat - rows_[by_lat_[lo]].lat);
  }
  const std::size_t pair[2] = {by_lat_[lo], by_lat_[hi]};
  const double share[2] = {1.0 - tl, tl};
  for (int s = 0; s < 2; ++s) {
    const grid_row& r = rows_[pair[s]];
    double p = 0;
    if (!row_position(r, lon, p)) return out;
    std::int64_t k0 = 0;
    double t = 0;
    if (r.count == 1) {
      k0 = 0;
    } else if (r.round_the_earth) {
      k0 = static_cast<std::int64_t>(std::floor(p));
      t = p - double(k0);
    } else if (!along_axis(p, r.count, k0, t)) {
      return out;
    }
    out.c[2 * s] = {row_point(r, k0), share[s] * (1.0 - t)};
    out.c[2 * s + 1] = {row_point(r, r.count == 1 ? 0 : k0 + 1), share[s] * t};
  }
  out.inside = true;
  return out;
}

cell source_grid::locate(double lat, double lon) const {
  if (!proj_) {
    double a = 0, b = 0;
    to_native(lat, lon, a, b);
    return row_cell(a, b);
  }
  cell out;
  double fi = 0, fj = 0;
  if (!index_of(lat, lon, fi, fj)) return out;
  std::int64_t i0 = 0, j0 = 0;
  double ti = 0, tj = 0;
  if (!along_axis(fi, plane_.ni, i0, ti) || !along_axis(fj, plane_.nj, j0, tj)) return out;
  const std::size_t at = std::size_t(j0 * plane_.ni + i0), up = std::size_t(plane_.ni);
  out.c[0] = {at, (1 - ti) * (1 - tj)};
  out.c[1] = {at + 1, ti * (1 - tj)};
  out.c[2] = {at + up, (1 - ti) * tj};
  out.c[3] = {at + up + 1, ti * tj};
  out.inside = true;
  return out;
}

bool source_grid::index_of(double lat, double lon, double& i, double& j) const {
  if (proj_) {
    double x = 0, y = 0;
    if (!proj_->forward(lat, lon, x, y)) return false;
    i = (x - plane_.x0) / plane_.dx;
    j = (y - plane_.y0) / plane_.dy;
    return true;
  }
  double a = 0, b = 0;
  to_native(lat, lon, a, b);
  const auto it = std::upper_bound(by_lat_.begin(), by_lat_.end(), a,
                                   [&](double v, std::size_t k) { return v < rows_[k].lat; });
  const std::size_t hi = std::min(std::size_t(it - by_lat_.begin()), by_lat_.size() - 1);
  const std::size_t lo = hi == 0 ? 0 : hi - 1;
  const double la = rows_[by_lat_[lo]].lat, lb = rows_[by_lat_[hi]].lat;
  j = hi == lo ? double(lo) : double(lo) + std::clamp((a - la) / (lb - la), 0.0, 1.0);
  return row_position(rows_[by_lat_[lo]], b, i);
}

double source_grid::north_angle(double lat, double lon) const {
  if (!turns_winds()) return 0;
  const double h = lat + 1e-4 <= 90.0 ? 1e-4 : -1e-4;
  double dx = 0, dy = 0;
  if (proj_) {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (!proj_->forward(lat, lon, x0, y0) || !proj_->forward(lat + h, lon, x1, y1)) return 0;
    dx = x1 - x0;
    dy = y1 - y0;
  } else {
    double a0 = 0, b0 = 0, a1 = 0, b1 = 0;
    to_native(lat, lon, a0, b0);
    to_native(lat + h, lon, a1, b1);
    dx = wrap180(b1 - b0) * std::cos(a0 * deg);
    dy = a1 - a0;
  }
  if (h < 0) {
    dx = -dx;
    dy = -dy;
  }
  return std::atan2(-dx, dy);
}

std::vector<std::size_t> source_grid::near(double lat, double lon, int reach) const {
  std::vector<std::size_t> out;
  double fi = 0, fj = 0;
  if (!index_of(lat, lon, fi, fj)) return out;
  if (proj_) {
    const auto i0 = static_cast<std::int64_t>(std::floor(fi)),
               j0 = static_cast<std::int64_t>(std::floor(fj));
    for (std::int64_t j = std::max<std::int64_t>(0, j0 - reach);
         j <= std::min(plane_.nj - 1, j0 + 1 + reach); ++j)
      for (std::int64_t i = std::max<std::int64_t>(0, i0 - reach);
           i <= std::min(plane_.ni - 1, i0 + 1 + reach); ++i)
        out.push_back(std::size_t(j * plane_.ni + i));
    return out;
  }
  double a = 0, b = 0;
  to_native(lat, lon, a, b);
  const auto j0 = static_cast<std::int64_t>(std::floor(fj));
  const auto last = static_cast<std::int64_t>(by_lat_.size()) - 1;
  for (std::int64_t k = std::max<std::int64_t>(0, j0 - reach); k <= std::min(last, j0 + 1 + reach);
       ++k) {
    const grid_row& r = rows_[by_lat_[std::size_t(k)]];
    double p = 0;
    row_position(r, b, p);
    const auto p0 = static_cast<std::int64_t>(std::floor(p));
    for (std::int64_t q = p0 - reach; q <= p0 + 1 + reach; ++q) {
      if (!r.round_the_earth && (q < 0 || q >= r.count)) continue;
      if (r.round_the_earth && q - (p0 - reach) >= r.count) break;
      out.push_back(row_point(r, q));
    }
  }
  return out;
}

void source_grid::set_coordinates(std::vector<float> lat, std::vector<float> lon) {
  if (lat.size() != points_ || lon.size() != points_)
    throw run_error(name_ + ": coordinates for " + std::to_string(lat.size()) + " points, not " +
                    std::to_string(points_));
  lat_ = std::move(lat);
  lon_ = std::move(lon);
}

source_grid::extent source_grid::bounds() const {
  extent e;
  if (global_ || lat_.empty()) return e;
  const double ref = lon_[lon_.size() / 2];
  double west = 0, east = 0;
  e.south = 90;
  e.north = -90;
  for (std::size_t p = 0; p < lat_.size(); ++p) {
    e.south = std::min(e.south, double(lat_[p]));
    e.north = std::max(e.north, double(lat_[p]));
    const double d = wrap180(double(lon_[p]) - ref);
    west = std::min(west, d);
    east = std::max(east, d);
  }
  e.west = ref + west;
  e.east = ref + east;
  return e;
}

double source_grid::step_km() const {
  if (proj_) return std::max(std::fabs(plane_.dx), std::fabs(plane_.dy)) / 1000.0;
  double most = 0;
  for (std::size_t k = 1; k < by_lat_.size(); ++k)
    most = std::max(most, rows_[by_lat_[k]].lat - rows_[by_lat_[k - 1]].lat);
  for (const grid_row& r : rows_) most = std::max(most, std::fabs(r.step) * std::cos(r.lat * deg));
  return most * km_per_degree;
}

}  // namespace c2m::regrid

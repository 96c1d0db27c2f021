#include "companion/regrid/weights.hpp"

#include <cmath>
#include <cstdio>
#include <limits>

#include "common/errors.hpp"

namespace c2m::regrid {

namespace {

constexpr double deg = 3.14159265358979323846 / 180.0;
constexpr float land_from = 0.5f;

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

double distance_km(double lat1, double lon1, double lat2, double lon2) {
  const double a =
      std::pow(std::sin((lat2 - lat1) * deg / 2), 2) +
      std::cos(lat1 * deg) * std::cos(lat2 * deg) * std::pow(std::sin((lon2 - lon1) * deg / 2), 2);
  return 2 * 6371.229 * std::asin(std::min(1.0, std::sqrt(a)));
}

// The weighted mean over the corners that `use` accepts, or NaN when none with a
// weight above 0 does.
template <class Use>
float mean_of(const std::uint32_t* index, const float* weight, const float* in, Use use) {
  float sum = 0, total = 0;
  for (int c = 0; c < 4; ++c) {
    const float v = in[index[c]];
    if (weight[c] > 0 && !std::isnan(v) && use(index[c])) {
      sum += weight[c] * v;
      total += weight[c];
    }
  }
  return total > 0 ? sum / total : std::numeric_limits<float>::quiet_NaN();
}

}  // namespace

weights::weights(const source_grid& source, const target_grid& target)
    : source_(&source), target_(target) {
  if (source.points() > std::numeric_limits<std::uint32_t>::max())
    throw run_error(source.name() + ": too many points to interpolate from");
  const std::size_t n = target.points();
  index_.resize(4 * n);
  weight_.resize(4 * n);
  if (source.turns_winds()) angle_.resize(n);
  for (std::int64_t j = 0; j < target.nlat; ++j)
    for (std::int64_t i = 0; i < target.nlon; ++i) {
      const std::size_t p = std::size_t(j) * std::size_t(target.nlon) + std::size_t(i);
      const double lat = target.lat(j), lon = target.lon(i);
      const cell c = source.locate(lat, lon);
      if (!c.inside) {
        std::string inside;
        try {
          inside = "; the largest area inside it at this spacing is " +
                   largest_inside({target.dlat, target.dlon}, source).area_text();
        } catch (const run_error&) {
          inside = "";
        }
        throw run_error("the area " + target.area_text() + " leaves " + source.name() +
                        ": the point " + number(lat) + " N " + number(lon) +
                        " E lies outside its coverage" + inside);
      }
      for (int k = 0; k < 4; ++k) {
        index_[4 * p + std::size_t(k)] = static_cast<std::uint32_t>(c.c[k].index);
        weight_[4 * p + std::size_t(k)] = static_cast<float>(c.c[k].weight);
      }
      if (!angle_.empty()) angle_[p] = source.north_angle(lat, lon);
    }
}

void weights::interpolate(const float* in, float* out) const {
  const std::size_t n = target_.points();
  for (std::size_t p = 0; p < n; ++p)
    out[p] = mean_of(&index_[4 * p], &weight_[4 * p], in, [](std::uint32_t) { return true; });
}

void weights::interpolate_mask(const float* in, float* out) const {
  interpolate(in, out);
  const std::size_t n = target_.points();
  for (std::size_t p = 0; p < n; ++p)
    if (!std::isnan(out[p])) out[p] = out[p] >= land_from ? 1.0f : 0.0f;
}

void weights::turn_winds(float* u, float* v) const {
  if (angle_.empty()) return;
  const std::size_t n = target_.points();
  for (std::size_t p = 0; p < n; ++p) {
    const auto c = static_cast<float>(std::cos(angle_[p])),
               s = static_cast<float>(std::sin(angle_[p]));
    const float ug = u[p], vg = v[p];
    u[p] = c * ug + s * vg;
    v[p] = c * vg - s * ug;
  }
}

weights::soil_report weights::interpolate_soil(const float* in, const float* source_land,
                                               const float* target_land, double reach_km,
                                               float* out) const {
  soil_report r;
  const auto land = [&](std::uint32_t q) {
    return source_land == nullptr || source_land[q] >= land_from;
  };
  const std::size_t n = target_.points();
  const int reach_steps = 1 + static_cast<int>(std::ceil(reach_km / source_->step_km()));
  for (std::size_t p = 0; p < n; ++p) {
    if (!(target_land[p] >= land_from)) {
      out[p] = mean_of(&index_[4 * p], &weight_[4 * p], in, [](std::uint32_t) { return true; });
      continue;
    }
    out[p] = mean_of(&index_[4 * p], &weight_[4 * p], in, land);
    if (!std::isnan(out[p])) continue;
    const double lat = target_.lat(std::int64_t(p / std::size_t(target_.nlon))),
                 lon = target_.lon(std::int64_t(p % std::size_t(target_.nlon)));
    double best = reach_km;
    const bool placed = !source_->lats().empty();
    for (const std::size_t q :
         placed ? source_->near(lat, lon, reach_steps) : std::vector<std::size_t>{}) {
      if (std::isnan(in[q]) || !land(static_cast<std::uint32_t>(q))) continue;
      const double d = distance_km(lat, lon, source_->lats()[q], source_->lons()[q]);
      if (d <= best) {
        best = d;
        out[p] = in[q];
      }
    }
    if (!std::isnan(out[p])) {
      ++r.nearest;
    } else if (r.holes++ == 0) {
      r.hole_lat = lat;
      r.hole_lon = lon;
    }
  }
  return r;
}

}  // namespace c2m::regrid

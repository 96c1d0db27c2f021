#include "companion/prepare/plausibility.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "companion/common/fields.hpp"

namespace c2m::prepare {

namespace {

// "(i 3, j 7: 52.5 N, 12.5 E)": the point of the window, from 1, and where it lies.
std::string point_text(const window& w, std::size_t p) {
  const std::size_t i = p % static_cast<std::size_t>(w.im), j = p / static_cast<std::size_t>(w.im);
  const double lat = (w.kgds.lat_first() + double(j) * w.kgds.dj()) / 1000.0;
  double lon = std::fmod((w.kgds.lon_first() + double(i) * w.kgds.di()) / 1000.0, 360.0);
  if (lon > 180) lon -= 360;
  char buf[96];
  std::snprintf(buf, sizeof buf, "(i %zu, j %zu: %g %c, %g %c)", i + 1, j + 1, std::fabs(lat),
                lat < 0 ? 'S' : 'N', std::fabs(lon), lon < 0 ? 'W' : 'E');
  return buf;
}

// "t at 500 hPa" or "msl".
std::string field_text(const source_field& s) {
  if (s.kind.surface) return std::string(surface_name(s.kind.surface));
  char buf[48];
  std::snprintf(buf, sizeof buf, " at %g hPa", s.level_hpa);
  return std::string(upper_name(s.kind.upper)) + buf;
}

std::string refusal(const source_field& s, const window& w, std::size_t p, float v) {
  char text[128];
  if (std::isfinite(v)) {
    const c2m::inspect::plausible_range r = c2m::inspect::input_range(field_index(s.kind));
    std::snprintf(text, sizeof text, "%.9g at %s, outside its plausible range %g to %g", double(v),
                  point_text(w, p).c_str(), double(r.low), double(r.high));
    return s.file + ": " + s.origin + ": " + field_text(s) + " holds " + text +
           " (--allow-implausible writes it)";
  }
  std::snprintf(text, sizeof text, "%s at %s, not a finite number",
                std::isnan(v) ? "nan"
                : v < 0       ? "-inf"
                              : "inf",
                point_text(w, p).c_str());
  return s.file + ": " + s.origin + ": " + field_text(s) + " holds " + text;
}

}  // namespace

std::size_t field_index(const field_kind& kind) {
  return kind.surface ? static_cast<std::size_t>(n_upper + kind.surface - 1)
                      : static_cast<std::size_t>(kind.upper);
}

bool plausible(std::size_t k, double v) {
  const c2m::inspect::plausible_range r = c2m::inspect::input_range(k);
  if (!r.checked) return std::isfinite(v);
  const double slack = 1e-3 * (double(r.high) - double(r.low));
  return v >= r.low - slack && v <= r.high + slack;
}

void check_plausible(std::span<const float> values, const source_field& field, const window& w,
                     bool allow_implausible) {
  const std::size_t k = field_index(field.kind);
  for (std::size_t p = 0; p < values.size(); ++p) {
    const float v = values[p];
    if (v == input_fill || (std::isfinite(v) && (allow_implausible || plausible(k, v)))) continue;
    throw run_error(refusal(field, w, p, v));
  }
}

}  // namespace c2m::prepare

#include "companion/prepare/plausibility.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
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
    const c2m::companion::plausible_range r = c2m::companion::input_range(field_index(s.kind));
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
  const c2m::companion::plausible_range r = c2m::companion::input_range(k);
  if (!r.checked) return std::isfinite(v);
  const double slack = 1e-3 * (double(r.high) - double(r.low));
  return v >= r.low - slack && v <= r.high + slack;
}

namespace {

// The floats that pass: a range unchecked, or allowed to be left, is that of the
// finite floats; a checked one is plausible()'s, from the least float at or above its
// low end to the greatest at or below its high end.
struct bounds {
  float low, high;
};

bounds passing(std::size_t k, bool allow_implausible) {
  constexpr float most = std::numeric_limits<float>::max();
  const c2m::companion::plausible_range r = c2m::companion::input_range(k);
  if (!r.checked || allow_implausible) return {-most, most};
  const double slack = 1e-3 * (double(r.high) - double(r.low));
  const double low = r.low - slack, high = r.high + slack;
  float lo = static_cast<float>(low), hi = static_cast<float>(high);
  if (double(lo) < low) lo = std::nextafter(lo, most);
  if (double(hi) > high) hi = std::nextafter(hi, -most);
  return {lo, hi};
}

// NaN passes no comparison; the infinities lie beyond every bound.
bool passes(float v, bounds b) {
  return (v >= b.low) & (v <= b.high);
}

// Where a summary found something: the first hole and the first refused value, of
// points `base` on.
void find_firsts(std::span<const float> values, std::size_t base, bounds b, const float* land,
                 field_summary& s) {
  for (std::size_t p = 0; p < values.size(); ++p) {
    const float v = values[p];
    if (v == input_fill) {
      if (land && land[p] != 1.0f) continue;
      if (s.holes++ == 0) s.first_hole = base + p;
    } else if ((!land || land[p] != 0.0f) && !passes(v, b) && !s.refused) {
      s.refused = true;
      s.refused_at = base + p;
      s.refused_value = v;
    }
  }
}

// Most fields have neither holes nor refused values: a pass without branches, counting
// in 32 bits a block at a time so that it runs on whole vectors, says so.
bool any_hole_or_refusal(std::span<const float> values, bounds b) {
  constexpr std::size_t block = std::size_t{1} << 20;
  for (std::size_t at = 0; at < values.size(); at += block) {
    const std::span<const float> part = values.subspan(at, std::min(block, values.size() - at));
    std::uint32_t found = 0;
    for (const float v : part) found += (v == input_fill) | !passes(v, b);
    if (found > 0) return true;
  }
  return false;
}

}  // namespace

summarizer::summarizer(std::size_t k, bool allow_implausible) {
  const bounds b = passing(k, allow_implausible);
  low_ = b.low;
  high_ = b.high;
}

void summarizer::add(std::span<const float> part) {
  const bounds b{low_, high_};
  if (any_hole_or_refusal(part, b)) find_firsts(part, seen_, b, nullptr, summary_);
  seen_ += part.size();
}

field_summary summarize(std::span<const float> values, std::size_t k, bool allow_implausible,
                        const float* land) {
  if (!land) {
    summarizer s(k, allow_implausible);
    s.add(values);
    return s.summary();
  }
  field_summary s;
  find_firsts(values, 0, passing(k, allow_implausible), land, s);
  return s;
}

void check_plausible(const field_summary& summary, const source_field& field, const window& w) {
  if (summary.refused)
    throw run_error(refusal(field, w, summary.refused_at, summary.refused_value));
}

}  // namespace c2m::prepare

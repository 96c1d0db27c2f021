#include "companion/regrid/target_grid.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "common/command_line_options.hpp"
#include "common/errors.hpp"

namespace c2m::regrid {

namespace {

double degrees(const std::string& text, const std::string& whole) {
  double v = 0;
  const char* end = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), end, v);
  // The grid configuration counts in millidegrees: a finer step cannot be written.
  if (text.empty() || ec != std::errc() || p != end || !std::isfinite(v) || !(v >= 0.001) || v > 10)
    throw usage_error("--grid: expected D or DLAT/DLON in degrees (0.001 to 10), found \"" + whole +
                      "\"");
  return v;
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

// Whole steps from `from` to `to`, allowing for rounding in the degrees typed.
std::int64_t steps(double from, double to, double step) {
  return static_cast<std::int64_t>(std::floor((to - from) / step + 1e-6));
}

void check_size(const target_grid& g, const std::string& how) {
  if (g.nlat < 2 || g.nlon < 2)
    throw run_error(how + ": " + std::to_string(g.nlon) + " x " + std::to_string(g.nlat) +
                    " points; two rows and two columns are needed");
  if (double(g.nlat) * double(g.nlon) > double(most_target_points))
    throw run_error(how + ": " + std::to_string(g.nlon) + " x " + std::to_string(g.nlat) +
                    " points, more than " + std::to_string(most_target_points) +
                    " (a coarser --grid or a smaller --area)");
}

}  // namespace

spacing parse_spacing(const std::string& text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) {
    const double d = degrees(text, text);
    return {d, d};
  }
  return {degrees(text.substr(0, slash), text), degrees(text.substr(slash + 1), text)};
}

std::string target_grid::area_text() const {
  return number(north()) + "/" + number(west) + "/" + number(south) + "/" + number(east());
}

std::string target_grid::describe() const {
  return std::to_string(nlon) + " x " + std::to_string(nlat) + " points, " + number(dlat) + " x " +
         number(dlon) + " degrees, area " + area_text();
}

target_grid target_over(spacing s, const area_bounds& area) {
  target_grid g;
  g.dlat = s.dlat;
  g.dlon = s.dlon;
  g.south = area.south;
  g.west = area.west;
  g.nlat = steps(area.south, area.north, s.dlat) + 1;
  double span = std::fmod(area.east - area.west, 360.0);
  if (span < 0) span += 360.0;
  if (span == 0 && area.east != area.west) span = 360.0;
  // Round the earth, the column at west + 360 would repeat the first.
  const std::int64_t columns = steps(0, span, s.dlon) + 1;
  g.nlon = span >= 360.0 - 1e-9 && double(columns - 1) * s.dlon >= 360.0 - 1e-6 * s.dlon
               ? columns - 1
               : columns;
  check_size(g, "--grid " + number(s.dlat) + "/" + number(s.dlon) + " over --area " +
                    number(area.north) + "/" + number(area.west) + "/" + number(area.south) + "/" +
                    number(area.east));
  return g;
}

target_grid largest_inside(spacing s, const source_grid& source) {
  const std::string how =
      "--grid " + number(s.dlat) + "/" + number(s.dlon) + " inside " + source.name();
  if (source.global()) {
    target_grid g;
    g.dlat = s.dlat;
    g.dlon = s.dlon;
    const std::int64_t half = steps(0, 90, s.dlat);
    g.south = -double(half) * s.dlat;
    g.nlat = 2 * half + 1;
    g.west = 0;
    g.nlon = steps(0, 360, s.dlon) + 1;
    if (double(g.nlon - 1) * s.dlon >= 360.0 - 1e-6 * s.dlon) --g.nlon;
    check_size(g, how);
    return g;
  }
  // Points on multiples of the spacing within the grid's extent, each inside or not;
  // then the largest rectangle of points all inside (heights of runs, one row at a time).
  const source_grid::extent e = source.bounds();
  const auto j0 = static_cast<std::int64_t>(std::ceil(e.south / s.dlat - 1e-6));
  const auto j1 = static_cast<std::int64_t>(std::floor(e.north / s.dlat + 1e-6));
  const auto i0 = static_cast<std::int64_t>(std::ceil(e.west / s.dlon - 1e-6));
  const auto i1 = static_cast<std::int64_t>(std::floor(e.east / s.dlon + 1e-6));
  const std::int64_t rows = j1 - j0 + 1, cols = i1 - i0 + 1;
  if (rows < 2 || cols < 2) check_size({0, 0, s.dlat, s.dlon, rows, cols}, how);
  if (double(rows) * double(cols) > double(most_target_points))
    check_size({0, 0, s.dlat, s.dlon, rows, cols}, how);
  std::vector<std::int64_t> height(std::size_t(cols), 0);
  std::int64_t best = 0, best_row = 0, best_col = 0, best_w = 0, best_h = 0;
  std::vector<std::int64_t> stack;
  for (std::int64_t j = 0; j < rows; ++j) {
    const double lat = double(j0 + j) * s.dlat;
    for (std::int64_t i = 0; i < cols; ++i) {
      const bool in = source.locate(lat, double(i0 + i) * s.dlon).inside;
      height[std::size_t(i)] = in ? height[std::size_t(i)] + 1 : 0;
    }
    stack.clear();
    for (std::int64_t i = 0; i <= cols; ++i) {
      const std::int64_t h = i == cols ? 0 : height[std::size_t(i)];
      while (!stack.empty() && height[std::size_t(stack.back())] >= h) {
        const std::int64_t top = height[std::size_t(stack.back())];
        stack.pop_back();
        const std::int64_t left = stack.empty() ? 0 : stack.back() + 1;
        const std::int64_t w = i - left;
        if (top >= 2 && w >= 2 && top * w > best) {
          best = top * w;
          best_row = j - top + 1;
          best_col = left;
          best_w = w;
          best_h = top;
        }
      }
      stack.push_back(i);
    }
  }
  target_grid g{double(j0 + best_row) * s.dlat,
                double(i0 + best_col) * s.dlon,
                s.dlat,
                s.dlon,
                best_h,
                best_w};
  check_size(g, how);
  return g;
}

}  // namespace c2m::regrid

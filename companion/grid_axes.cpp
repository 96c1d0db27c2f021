#include "companion/grid_axes.hpp"

#include <cmath>

#include "common/errors.hpp"
#include "common/kgds.hpp"

namespace c2m::inspect {

namespace {

using namespace kgds_flags;

// n points from first (millidegrees), a step of increment or, when not given, evenly
// to last; sign is the direction the scanning mode gives.
std::vector<double> axis(std::int32_t n, double first, double last, double increment,
                         bool increment_given, double sign) {
  if (!increment_given) increment = n > 1 ? std::abs(last - first) / (n - 1) : 0.0;
  std::vector<double> v(static_cast<std::size_t>(n));
  for (std::int32_t k = 0; k < n; ++k)
    v[static_cast<std::size_t>(k)] = (first + sign * k * std::abs(increment)) / 1000.0;
  return v;
}

}  // namespace

bool rows_run_north(const grid_info& info) {
  return (info.kgds[11] & j_positive) != 0;
}
bool columns_run_east(const grid_info& info) {
  return (info.kgds[11] & i_negative) == 0;
}

grid_axes make_axes(const grid_info& info, const std::string& name) {
  if (info.kgds[1] != 0)
    throw run_error(name + ": data representation type kgds(1) = " + std::to_string(info.kgds[1]) +
                    " is not a latitude/longitude grid");
  if (info.kgds[11] & j_consecutive)
    throw run_error(name + ": scanning mode kgds(11) = " + std::to_string(info.kgds[11]) +
                    " has j varying fastest, but work-file records run along i");
  const bool given = (info.kgds[6] & increments_given) != 0;
  grid_axes a;
  a.lat = axis(info.jm, info.kgds[4], info.kgds[7], info.kgds[10], given,
               rows_run_north(info) ? 1.0 : -1.0);
  a.lon = axis(info.im, info.kgds[5], info.kgds[8], info.kgds[9], given,
               columns_run_east(info) ? 1.0 : -1.0);
  return a;
}

}  // namespace c2m::inspect

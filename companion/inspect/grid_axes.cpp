#include "companion/inspect/grid_axes.hpp"

#include <cmath>

#include "common/errors.hpp"
#include "common/kgds.hpp"
#include "companion/common/number_text.hpp"

namespace c2m::inspect {

namespace {

using namespace kgds_flags;

// n points evenly from first to last (millidegrees), in degrees.
std::vector<double> axis(std::int32_t n, double first, double last) {
  std::vector<double> v(static_cast<std::size_t>(n), first / 1000.0);
  if (n < 2) return v;
  // (last - first) * k is exact in double: the last point comes out as stated.
  for (std::int32_t k = 0; k < n; ++k)
    v[static_cast<std::size_t>(k)] = (first + (last - first) * k / (n - 1)) / 1000.0;
  return v;
}

// A stated increment is a whole number of millidegrees: it may differ from the spacing
// of the first and last points by half a millidegree.
void check_increment(std::vector<std::string>& notes, const std::string& name, const char* what,
                     int n_kgds, std::int32_t stated, std::int32_t points, double first,
                     double last) {
  if (points < 2) return;
  const double spacing = std::fabs(last - first) / (points - 1);
  if (std::fabs(std::fabs(static_cast<double>(stated)) - spacing) <= 0.5) return;
  notes.push_back(name + ": the " + what + " increment kgds(" + std::to_string(n_kgds) +
                  ") = " + std::to_string(stated) + " millidegrees disagrees with the first and " +
                  "last points, " + std::to_string(points) + " points " +
                  companion::short_number(spacing / 1000.0, 9) +
                  " degrees apart; the points are used");
}

}  // namespace

grid_axes make_axes(const companion::grid_info& info, const std::string& name) {
  const auto& k = info.kgds;
  if (k[1] != 0)
    throw run_error(name + ": data representation type kgds(1) = " + std::to_string(k[1]) +
                    " is not a latitude/longitude grid");
  if (k[11] & j_consecutive)
    throw run_error(name + ": scanning mode kgds(11) = " + std::to_string(k[11]) +
                    " has j varying fastest, but work-file records run along i");
  grid_axes a;
  // Longitudes: a last point numerically behind the first in the scanning direction lies
  // across 0/360 (350 to 10 degrees east is 350 to 370).
  double lon_first = k[5], lon_last = k[8];
  const bool east = (k[11] & i_negative) == 0;
  if (info.im > 1) {
    if (east && lon_last <= lon_first) lon_last += 360000.0;
    if (!east && lon_last >= lon_first) lon_last -= 360000.0;
  }
  a.lat = axis(info.jm, k[4], k[7]);
  a.lon = axis(info.im, lon_first, lon_last);

  const bool north = (k[11] & j_positive) != 0;
  if (info.jm > 1 && k[4] != k[7] && north != (k[7] > k[4]))
    a.notes.push_back(name + ": the scanning mode kgds(11) = " + std::to_string(k[11]) +
                      " has rows running " + (north ? "south to north" : "north to south") +
                      ", but the first latitude " + companion::short_number(k[4] / 1000.0) +
                      " is " + (north ? "north" : "south") + " of the last " +
                      companion::short_number(k[7] / 1000.0) +
                      "; the rows are placed from the first latitude to the last");
  if ((k[6] & increments_given) != 0) {
    check_increment(a.notes, name, "longitude", 9, k[9], info.im, lon_first, lon_last);
    check_increment(a.notes, name, "latitude", 10, k[10], info.jm, k[4], k[7]);
  }
  return a;
}

}  // namespace c2m::inspect

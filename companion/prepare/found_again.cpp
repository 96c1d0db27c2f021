#include "companion/prepare/found_again.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/errors.hpp"
#include "companion/prepare/field_reading.hpp"
#include "companion/prepare/shared_memory.hpp"

namespace c2m::prepare {

namespace {

// The pairs read at once: two planes of the window each.
constexpr std::size_t pairs_at_once = 4;

// Whether a field found again gives its slot as the kept one does.
bool same_quantity(const found_again& f) {
  const field_kind &a = f.kept->kind, &b = f.again->kind;
  return a.divisor == b.divisor && a.from_specific_humidity == b.from_specific_humidity &&
         a.soil_water_mass == b.soil_water_mass;
}

std::string what_of(const source_field& s) {
  if (!s.kind.soil_layer_by_depth) return field_label(s);
  return (s.kind.surface - k_soil_t1) % 2 == 0 ? "soil temperature" : "soil moisture";
}

std::string where(const source_field& s) {
  return s.file + ": " + s.origin;
}

// The points where two planes differ, bit for bit (a point without data in both agrees).
std::size_t differing(const float* a, const float* b, std::size_t n) {
  std::size_t count = 0;
  for (std::size_t p = 0; p < n; ++p) count += std::memcmp(a + p, b + p, sizeof(float)) != 0;
  return count;
}

}  // namespace

void check_found_again(const selection& sel, const window& w, const decode_limits& limits) {
  std::vector<found_again> pairs;
  std::copy_if(sel.again.begin(), sel.again.end(), std::back_inserter(pairs), same_quantity);
  if (pairs.empty()) return;
  const std::size_t n = std::size_t(w.im) * std::size_t(w.jm);
  const std::size_t planes = 2 * std::min(pairs.size(), pairs_at_once);
  const shared_memory memory(planes * n * sizeof(float));
  std::vector<field_summary> summaries(planes);
  for (std::size_t from = 0; from < pairs.size(); from += pairs_at_once) {
    const std::size_t count = std::min(pairs_at_once, pairs.size() - from);
    std::vector<field_load> loads;
    for (std::size_t k = 0; k < count; ++k) {
      const found_again& f = pairs[from + k];
      loads.push_back({f.kept, &w, memory.floats() + 2 * k * n, &summaries[2 * k]});
      loads.push_back({f.again, &w, memory.floats() + (2 * k + 1) * n, &summaries[2 * k + 1]});
    }
    // Their plausibility is judged where the kept one is written.
    read_fields(loads, limits, true);
    for (std::size_t k = 0; k < count; ++k) {
      const found_again& f = pairs[from + k];
      const std::size_t d =
          differing(memory.floats() + 2 * k * n, memory.floats() + (2 * k + 1) * n, n);
      if (d > 0)
        throw run_error(where(*f.again) + " gives " + what_of(*f.kept) + " valid at " +
                        (f.kept->valid_time.empty() ? "no time" : f.kept->valid_time) +
                        " again, as " + where(*f.kept) + " does, but with other values (at " +
                        std::to_string(d) + " of " + std::to_string(n) +
                        " points); give only one of them");
    }
  }
}

}  // namespace c2m::prepare

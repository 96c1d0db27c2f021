// Module estab: the saturation vapour pressure table esat, over liquid water in hPa,
// for 150.00 K to 450.00 K in steps of 0.01 K. Filled once by es_ini before the run,
// read-only afterwards.
#pragma once

#include <array>
#include <cstdint>

namespace c2m::estab {

constexpr std::int32_t first_index = 15000;  // 150.00 K
constexpr std::int32_t last_index = 45000;   // 450.00 K
constexpr std::size_t table_size = last_index - first_index + 1;

// Entry n (first_index <= n <= last_index) is esat[n - first_index].
extern std::array<float, table_size> esat;

inline float esat_at(std::int32_t n) {
  return esat[static_cast<std::size_t>(n - first_index)];
}

// Fills every entry of esat by the Goff-Gratch formulation.
void es_ini();

}  // namespace c2m::estab

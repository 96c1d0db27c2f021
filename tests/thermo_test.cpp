#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "common/constants.hpp"
#include "tests/support/scratch.hpp"
#include "thermo/humidity.hpp"
#include "thermo/module_estab.hpp"

namespace c2m {
namespace {

class thermo : public testing::Test {
 protected:
  static void SetUpTestSuite() { estab::es_ini(); }

  // qnew2 at one point of a one-level grid at pressure p.
  static float q_at(float tp, float rh, float p) {
    grid t = make_grid(1, 1, 1), r = make_grid(1, 1, 1);
    t.at(1, 1, 1) = tp;
    r.at(1, 1, 1) = rh;
    const std::vector<float> pr{p};
    return rh_to_q(t, pr, std::move(r)).at(1, 1, 1);
  }
};

TEST_F(thermo, table_entries_match_the_goff_gratch_values) {
  EXPECT_EQ(estab::esat.size(), 30001u);
  EXPECT_NEAR(estab::esat_at(27316), 6.1076f, 0.00005f);
  EXPECT_NEAR(estab::esat_at(37315), 1012.8f, 0.05f);
  EXPECT_NEAR(estab::esat_at(15000), 2.4542e-8f, 0.00005e-8f);
  EXPECT_NEAR(estab::esat_at(45000), 9338.3f, 0.05f);
  for (std::int32_t n = estab::first_index + 1; n <= estab::last_index; ++n)
    ASSERT_GT(estab::esat_at(n), estab::esat_at(n - 1)) << n;
}

// reference/esat.bin is the table as an independent, literal program computes it on Debian
// 12 x86-64 (glibc log10f and powf, scalar calls, no fused multiply-add): 30001
// little-endian floats, 150.00 K first. The last bits of log10f and powf belong to the
// math library, so elsewhere the entries are compared to a few parts in a million.
TEST_F(thermo, table_equals_the_reference_table_bit_for_bit) {
  const std::vector<float> reference = test::reference_esat();
  ASSERT_EQ(reference.size(), estab::table_size) << REFERENCE_DIR "/esat.bin";
#if defined(__x86_64__) && defined(__GLIBC__)
  constexpr bool exact = true;
#else
  constexpr bool exact = false;
#endif
  std::size_t differ = 0;
  for (std::size_t k = 0; k < estab::table_size; ++k) {
    const float want = reference[k], got = estab::esat[k];
    const bool same = exact
                          ? std::bit_cast<std::uint32_t>(got) == std::bit_cast<std::uint32_t>(want)
                          : std::fabs(got - want) <= 5e-6f * want;
    if (!same && ++differ <= 5)
      ADD_FAILURE() << "entry " << estab::first_index + static_cast<std::int32_t>(k) << ": " << got
                    << " (bits " << std::hex << std::bit_cast<std::uint32_t>(got) << "), reference "
                    << want << " (bits " << std::bit_cast<std::uint32_t>(want) << std::dec << ")";
  }
  EXPECT_EQ(differ, 0u) << "of " << estab::table_size << " entries";
}

TEST_F(thermo, table_index_truncates_and_clamps) {
  EXPECT_EQ(esat_index(273.16f), 27316);
  EXPECT_EQ(esat_index(273.159f), 27315);
  EXPECT_EQ(esat_index(449.99f), 44999);  // 100 * tp is a float product
  EXPECT_EQ(esat_index(140.0f), 15000);
  EXPECT_EQ(esat_index(460.0f), 45000);
  EXPECT_EQ(esat_index(std::numeric_limits<float>::quiet_NaN()), 15000);
  EXPECT_EQ(esat_index(21474836.0f), 15000);  // 100 * tp is beyond the 32-bit range
  EXPECT_EQ(esat_index(-1e30f), 15000);
  EXPECT_EQ(esat_index(std::numeric_limits<float>::infinity()), 15000);
  EXPECT_EQ(esat_index(missing_value), 15000);
}

TEST_F(thermo, humidity_from_relative_humidity) {
  EXPECT_NEAR(q_at(273.16f, 100.0f, 1000.0f), 3.8223e-3f, 0.00005e-3f);
  EXPECT_NEAR(q_at(300.0f, 80.0f, 1000.0f), 1.8216e-2f, 0.00005e-2f);
  EXPECT_EQ(q_at(273.16f, 0.0f, 1000.0f), 0.0f);
  EXPECT_EQ(q_at(273.16f, 120.0f, 1000.0f),
            120.0f * ((0.00622f * estab::esat_at(27316)) / (1000.0f - estab::esat_at(27316))));
  EXPECT_NEAR(q_at(273.16f, missing_value, 1000.0f), -3.8222f, 0.0001f);
  EXPECT_TRUE(std::isnan(q_at(273.16f, std::numeric_limits<float>::quiet_NaN(), 1000.0f)));
  EXPECT_GT(q_at(missing_value, 50.0f, 1000.0f), 0.0f);
  EXPECT_LT(q_at(missing_value, 50.0f, 1000.0f), 1e-10f);
  EXPECT_EQ(q_at(140.0f, 100.0f, 1000.0f), q_at(150.0f, 100.0f, 1000.0f));
  EXPECT_EQ(q_at(460.0f, 100.0f, 1000.0f), q_at(450.0f, 100.0f, 1000.0f));
}

TEST_F(thermo, pressure_equal_to_the_vapour_pressure_gives_infinity_without_a_trap) {
  const float e = estab::esat_at(30000);
  EXPECT_TRUE(std::isinf(q_at(300.0f, 50.0f, e)));
  EXPECT_LT(q_at(300.0f, 50.0f, e / 2.0f), 0.0f);
}

// The index as first written: truncate where the conversion is defined, then clamp.
std::int32_t literal_esat_index(float tp) {
  const float x = 100.0f * tp;
  std::int32_t n = estab::first_index;
  if (x > -2147483648.0f && x < 2147483648.0f) n = static_cast<std::int32_t>(x);
  return std::clamp(n, estab::first_index, estab::last_index);
}

TEST_F(thermo, table_index_equals_the_literal_truncate_and_clamp) {
  // Every 997th bit pattern, and every pattern near the edges of the table and of the
  // 32-bit range. (All 2^32 patterns agree; that check takes too long for the suite.)
  std::vector<float> edges{150.0f, 450.0f, 21474836.48f, -21474836.48f, 0.0f};
  for (std::uint64_t b = 0; b <= 0xffffffffu; b += 997)
    ASSERT_EQ(esat_index(std::bit_cast<float>(static_cast<std::uint32_t>(b))),
              literal_esat_index(std::bit_cast<float>(static_cast<std::uint32_t>(b))))
        << b;
  for (float edge : edges)
    for (float sign : {1.0f, -1.0f}) {
      const std::uint32_t centre = std::bit_cast<std::uint32_t>(sign * edge);
      for (std::uint32_t b = centre - 4096; b != centre + 4096; ++b)
        ASSERT_EQ(esat_index(std::bit_cast<float>(b)), literal_esat_index(std::bit_cast<float>(b)))
            << b;
    }
}

// Levels larger than the table take the tabulated factor; every point must come out as
// the point-by-point formula gives it, whatever the temperature and humidity.
TEST_F(thermo, tabulated_humidity_equals_the_formula_at_every_point) {
  const std::int32_t im = 181, jm = 170;  // 30770 points, more than the 30001 entries
  const std::vector<float> pr{1000.0f, 500.0f, estab::esat_at(30000), 10.0f};
  grid tp = make_grid(im, jm, 4), rh = make_grid(im, jm, 4);
  const std::vector<float> specials{std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity(),
                                    missing_value,
                                    0.0f,
                                    140.0f,
                                    460.0f,
                                    1e30f};
  std::uint32_t seed = 7;
  for (std::size_t k = 0; k < tp.size(); ++k) {
    seed = seed * 1664525u + 1013904223u;
    const std::size_t point = k % tp.level_size();
    // Every table index once per level, then the specials and random temperatures.
    float t = point < estab::table_size ? static_cast<float>(estab::first_index + point) / 100.0f
                                        : 150.0f + static_cast<float>(seed >> 8) * 1.8e-5f;
    if (point % 1000 == 999) t = specials[(point / 1000) % specials.size()];
    tp.all()[k] = t;
    rh.all()[k] = k % 777 == 0 ? missing_value : static_cast<float>(seed % 10001) / 100.0f;
  }
  std::vector<float> want(rh.size());
  for (std::size_t k = 0; k < rh.size(); ++k) {
    const float p = pr[k / rh.level_size()];
    const float e = estab::esat_at(literal_esat_index(tp.all()[k]));
    want[k] = rh.all()[k] * ((0.00622f * e) / (p - e));
  }
  const grid q = rh_to_q(tp, pr, std::move(rh));
  for (std::size_t k = 0; k < want.size(); ++k)
    ASSERT_EQ(std::bit_cast<std::uint32_t>(q.all()[k]), std::bit_cast<std::uint32_t>(want[k]))
        << "point " << k << ", tp " << tp.all()[k];
}

}  // namespace
}  // namespace c2m

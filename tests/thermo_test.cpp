#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "common/constants.hpp"
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

}  // namespace
}  // namespace c2m

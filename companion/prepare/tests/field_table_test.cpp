// The one table of GRIB codes: local codes only under their centre, every row read as
// the field it names, and the codes the inspector writes.
#include "companion/prepare/field_table.hpp"

#include <gtest/gtest.h>

#include "companion/common/field_codes.hpp"

namespace c2m::prepare {
namespace {

namespace co = companion;

TEST(field_table, every_local_code_names_its_centre) {
  for (const co::grib_code& r : co::grib_code_table()) {
    if (!co::is_local_code(r.edition, r.table, r.category, r.number)) continue;
    EXPECT_NE(r.centre, co::any_centre)
        << "GRIB " << r.edition << " " << r.table << "/" << r.category << "/" << r.number;
  }
}

TEST(field_table, ncep_soil_moisture_is_soil_moisture_under_ncep_only) {
  message_code c{2, 2, 0, 192, co::centre_ncep, level_kind::soil};
  const std::optional<field_kind> ncep = grib_field(c);
  ASSERT_TRUE(ncep.has_value());
  EXPECT_EQ(ncep->surface, k_soil_m1);
  for (const long centre : {long{co::centre_ecmwf}, long{co::centre_dwd}, 0L, 255L}) {
    c.centre = centre;
    EXPECT_FALSE(grib_field(c).has_value()) << centre;
  }
  // GRIB 1: NCEP's code 144 of table 2, and ECMWF's table 128 under ECMWF only.
  EXPECT_TRUE(grib_field({1, 0, 2, 144, co::centre_ncep, level_kind::soil}).has_value());
  EXPECT_FALSE(grib_field({1, 0, 2, 144, co::centre_ecmwf, level_kind::soil}).has_value());
  EXPECT_TRUE(grib_field({1, 0, 128, 139, co::centre_ecmwf, level_kind::soil}).has_value());
  EXPECT_FALSE(grib_field({1, 0, 128, 139, co::centre_ncep, level_kind::soil}).has_value());
}

TEST(field_table, producers_codes_give_their_fields_in_the_written_units) {
  // ICON's FI: geopotential to height; PMSL: Pa to hPa; W_SO: kg m-2 per metre of water.
  const std::optional<field_kind> fi =
      grib_field({2, 0, 3, 4, co::centre_dwd, level_kind::isobaric});
  ASSERT_TRUE(fi.has_value());
  EXPECT_EQ(fi->upper, upper_field::zg);
  EXPECT_EQ(fi->divisor, 9.80665);
  const std::optional<field_kind> pmsl =
      grib_field({2, 0, 3, 1, co::centre_dwd, level_kind::mean_sea});
  ASSERT_TRUE(pmsl.has_value());
  EXPECT_EQ(pmsl->surface, k_msl);
  EXPECT_EQ(pmsl->divisor, 100.0);
  const std::optional<field_kind> w = grib_field({2, 2, 3, 20, co::centre_dwd, level_kind::soil});
  ASSERT_TRUE(w.has_value());
  EXPECT_TRUE(w->soil_water_mass);
  EXPECT_EQ(w->divisor, 1000.0);
  // ERA5's stl3 in GRIB 2 (ECMWF's local discipline 192, category 128) names its layer.
  const std::optional<field_kind> stl3 =
      grib_field({2, 192, 128, 183, co::centre_ecmwf, level_kind::surface});
  ASSERT_TRUE(stl3.has_value());
  EXPECT_EQ(stl3->surface, k_soil_t1 + 4);
  EXPECT_FALSE(stl3->soil_layer_by_depth);
  // Temperature on a pressure level is not soil temperature, and the reverse.
  EXPECT_EQ(grib_field({2, 0, 0, 0, 7, level_kind::isobaric})->upper, upper_field::ta);
  EXPECT_EQ(grib_field({2, 0, 0, 0, 7, level_kind::soil})->surface, k_soil_t1);
  EXPECT_FALSE(grib_field({2, 0, 0, 0, 7, level_kind::other}).has_value());
}

TEST(field_table, the_inspector_writes_ecmwf_codes_per_soil_layer_and_wmo_ones_else) {
  const co::grib_code* stl4 = co::written_grib1(co::codes::soil_temperature, 4);
  ASSERT_NE(stl4, nullptr);
  EXPECT_EQ(stl4->table, 128);
  EXPECT_EQ(stl4->number, 236);
  const co::grib_code* swvl1 = co::written_grib1(co::codes::soil_moisture, 1);
  ASSERT_NE(swvl1, nullptr);
  EXPECT_EQ(swvl1->number, 39);
  const co::grib_code* hus = co::written_grib1(co::codes::specific_humidity, 0);
  ASSERT_NE(hus, nullptr);
  EXPECT_EQ(hus->table, 2);
  EXPECT_EQ(hus->number, 51);
  EXPECT_EQ(co::grib2_param(co::codes::mean_sea_level_pressure), "1.3.0");
  EXPECT_EQ(co::grib2_param(co::codes::soil_moisture), "25.0.2");
  EXPECT_EQ(co::grib2_param(co::codes::geopotential), "");
}

TEST(field_table, ecmwf_soil_levels_have_the_depths_of_its_four_layers) {
  const auto l4 = co::centre_soil_layer(co::centre_ecmwf, 4);
  ASSERT_TRUE(l4.has_value());
  EXPECT_EQ((*l4)[0], 1.0);
  EXPECT_EQ((*l4)[1], 2.89);
  EXPECT_FALSE(co::centre_soil_layer(co::centre_ecmwf, 5).has_value());
  EXPECT_FALSE(co::centre_soil_layer(co::centre_dwd, 1).has_value());
}

}  // namespace
}  // namespace c2m::prepare

// What conv2model-prepare looks for in an analysis, and how it recognises each field:
// GRIB 2 discipline/category/number with the level type, GRIB 1 table/code with the
// level type, NetCDF standard_name, and the ERA5 and GFS short names as a fallback.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/field_slots.hpp"
#include "common/work_layout.hpp"
#include "companion/common/field_codes.hpp"

namespace c2m::prepare {

// The five upper-air fields in the order of the input field file's records 2 to 6, each
// its slot's position less one (the work file holds the humidity derived from hur in
// hur's place).
enum class upper_field { ua, va, zg, hur, ta };
static_assert(static_cast<int>(upper_field::ua) + 1 == slots::eastward_wind &&
              static_cast<int>(upper_field::va) + 1 == slots::northward_wind &&
              static_cast<int>(upper_field::zg) + 1 == slots::geopotential_height &&
              static_cast<int>(upper_field::hur) + 1 == slots::humidity &&
              static_cast<int>(upper_field::ta) + 1 == slots::air_temperature);
constexpr int n_upper = layout::fields_3d;

// A field of the analysis as the input field file wants it. For a surface field,
// `surface` is its index k (1 to 12) in the surface stack; for an upper-air field
// `surface` is 0. `divisor` turns the source's unit into the one written (geopotential
// to height, Pa to hPa); `mask` marks the land-sea mask (fractions made 0/1 at 0.5).
struct field_kind {
  upper_field upper = upper_field::ua;
  int surface = 0;
  double divisor = 1.0;
  bool mask = false;
  bool soil_layer_by_depth = false;     // a soil field whose layer comes from its depths
  bool soil_water_mass = false;         // kg m-2, a volume fraction once divided by depth
  bool from_specific_humidity = false;  // q in rh's place, to be converted
};

// Surface stack indices.
constexpr int k_lsm = slots::land_sea_mask, k_msl = slots::sea_level_pressure,
              k_sp = slots::surface_pressure, k_orog = slots::orography;
constexpr int k_soil_t1 = slots::soil_temperature(1), k_soil_m1 = slots::soil_moisture(1);

// Short name of an upper-air field or of surface field k, as the inventory shows it: the
// names of the input field file's slots, which conv2model-inspect shows too.
std::string_view upper_name(upper_field f);
// Its long name in lower case: "zonal wind".
std::string upper_title(upper_field f);
std::string_view surface_name(int k);

// The level of a GRIB message, decoded into what the table needs.
using level_kind = companion::code_level;

struct message_code {
  long edition = 2;
  long discipline = 0;  // GRIB 2; GRIB 1: 0
  long category = 0;    // GRIB 2 parameterCategory; GRIB 1 table2Version
  long number = 0;      // GRIB 2 parameterNumber; GRIB 1 indicatorOfParameter
  long centre = 0;      // the originating centre, which says what its local codes mean
  level_kind level = level_kind::other;
};

// What a GRIB message is, by the one table of codes, or nothing when the analysis does
// not need it.
std::optional<field_kind> grib_field(const message_code& code);

// Soil layer (1 to 4) of a GRIB soil field from its depths in metres: the GFS layers
// 0-0.1, 0.1-0.4, 0.4-1, 1-2 m and the ERA5 layers 0-0.07, 0.07-0.28, 0.28-1, 1-2.89 m.
std::optional<int> soil_layer(double top, double bottom);

// What a NetCDF variable is, from its standard_name (first) or its name, and whether
// it has a pressure axis or a soil depth axis. Soil layers come from the ERA5 names
// stl1-4, swvl1-4, or from the depths of the axis (the kind then says so).
std::optional<field_kind> netcdf_field(std::string_view standard_name, std::string_view name,
                                       bool on_pressure_levels, bool on_soil_depths);

constexpr double gravity = 9.80665;  // geopotential to geopotential height

}  // namespace c2m::prepare

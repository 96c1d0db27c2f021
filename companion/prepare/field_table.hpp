// What conv2model-prepare looks for in an analysis, and how it recognises each field:
// GRIB 2 discipline/category/number with the level type, GRIB 1 table/code with the
// level type, NetCDF standard_name, and the ERA5 and GFS short names as a fallback.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/work_layout.hpp"
#include "companion/common/field_codes.hpp"

namespace c2m::prepare {

// The five upper-air fields in the order of the input field file's records 2 to 6 (the
// work file holds the humidity derived from rh in rh's place).
enum class upper_field { uw, vw, ht, rh, tp };
constexpr int n_upper = layout::fields_3d;

// A field of the analysis as the input field file wants it. For a surface field,
// `surface` is its index k (1 to 12) in the surface stack; for an upper-air field
// `surface` is 0. `divisor` turns the source's unit into the one written (geopotential
// to height, Pa to hPa); `mask` marks the land-sea mask (fractions made 0/1 at 0.5).
struct field_kind {
  upper_field upper = upper_field::uw;
  int surface = 0;
  double divisor = 1.0;
  bool mask = false;
  bool soil_layer_by_depth = false;     // a soil field whose layer comes from its depths
  bool soil_water_mass = false;         // kg m-2, a volume fraction once divided by depth
  bool from_specific_humidity = false;  // q in rh's place, to be converted
};

// Surface stack indices.
constexpr int k_lsm = 1, k_msl = 2, k_sp = 3, k_orog = 4;
constexpr int k_soil_t1 = 5, k_soil_m1 = 6;  // layer n: 5 + 2 (n - 1) and 6 + 2 (n - 1)

// Short name of an upper-air field or of surface field k, as the inventory shows it: the
// names conv2model-inspect gives the records of the work file.
std::string_view upper_name(upper_field f);
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

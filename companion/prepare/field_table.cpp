#include "companion/prepare/field_table.hpp"

#include <array>
#include <cmath>

namespace c2m::prepare {

namespace {

field_kind upper(upper_field f, double divisor = 1.0) {
  field_kind k;
  k.upper = f;
  k.divisor = divisor;
  return k;
}

field_kind surface(int k, double divisor = 1.0) {
  field_kind f;
  f.surface = k;
  f.divisor = divisor;
  f.mask = k == k_lsm;
  return f;
}

field_kind soil_by_depth(int first) {
  field_kind f = surface(first);
  f.soil_layer_by_depth = true;
  return f;
}

// ECMWF parameter table 128, in GRIB 1 and in GRIB 2 under the local discipline 192
// with category 128. ERA5's soil fields name their layer by the code itself.
std::optional<field_kind> ecmwf_table_128(long code, level_kind level) {
  if (level == level_kind::isobaric) {
    switch (code) {
      case 131:
        return upper(upper_field::uw);
      case 132:
        return upper(upper_field::vw);
      case 156:
        return upper(upper_field::ht);
      case 129:
        return upper(upper_field::ht, gravity);
      case 157:
        return upper(upper_field::rh);
      case 130:
        return upper(upper_field::tp);
      default:
        return std::nullopt;
    }
  }
  switch (code) {
    case 172:
      return surface(k_lsm);
    case 151:
      return surface(k_msl, 100.0);
    case 134:
      return surface(k_sp, 100.0);
    case 129:
      if (level == level_kind::surface) return surface(k_orog, gravity);
      return std::nullopt;
    case 139:
      return surface(k_soil_t1);
    case 170:
      return surface(k_soil_t1 + 2);
    case 183:
      return surface(k_soil_t1 + 4);
    case 236:
      return surface(k_soil_t1 + 6);
    case 39:
      return surface(k_soil_m1);
    case 40:
      return surface(k_soil_m1 + 2);
    case 41:
      return surface(k_soil_m1 + 4);
    case 42:
      return surface(k_soil_m1 + 6);
    default:
      return std::nullopt;
  }
}

// WMO GRIB 1 table 2 (versions 1 to 3) with NCEP's entries for soil fields.
std::optional<field_kind> wmo_table_2(long code, level_kind level) {
  switch (level) {
    case level_kind::isobaric:
      switch (code) {
        case 33:
          return upper(upper_field::uw);
        case 34:
          return upper(upper_field::vw);
        case 7:
          return upper(upper_field::ht);
        case 6:
          return upper(upper_field::ht, gravity);
        case 52:
          return upper(upper_field::rh);
        case 11:
          return upper(upper_field::tp);
        default:
          return std::nullopt;
      }
    case level_kind::surface:
      switch (code) {
        case 81:
          return surface(k_lsm);
        case 1:
          return surface(k_sp, 100.0);
        case 7:
          return surface(k_orog);
        case 8:
          return surface(k_orog);
        case 6:
          return surface(k_orog, gravity);
        default:
          return std::nullopt;
      }
    case level_kind::mean_sea:
      return code == 2 ? std::optional(surface(k_msl, 100.0)) : std::nullopt;
    case level_kind::soil_layer:
      if (code == 85 || code == 11) return soil_by_depth(k_soil_t1);
      if (code == 144) return soil_by_depth(k_soil_m1);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

// GRIB 2, WMO code table 4.2 with NCEP's local soil moisture (2/0/192).
std::optional<field_kind> wmo_grib2(long d, long c, long n, level_kind level) {
  const auto is = [&](long dd, long cc, long nn) { return d == dd && c == cc && n == nn; };
  switch (level) {
    case level_kind::isobaric:
      if (is(0, 2, 2)) return upper(upper_field::uw);
      if (is(0, 2, 3)) return upper(upper_field::vw);
      if (is(0, 3, 5)) return upper(upper_field::ht);
      if (is(0, 3, 4)) return upper(upper_field::ht, gravity);
      if (is(0, 1, 1)) return upper(upper_field::rh);
      if (is(0, 0, 0)) return upper(upper_field::tp);
      return std::nullopt;
    case level_kind::surface:
      if (is(2, 0, 0)) return surface(k_lsm);
      if (is(0, 3, 0)) return surface(k_sp, 100.0);
      if (is(0, 3, 5) || is(2, 0, 7) || is(0, 3, 6)) return surface(k_orog);
      if (is(0, 3, 4)) return surface(k_orog, gravity);
      return std::nullopt;
    case level_kind::mean_sea:
      if (is(0, 3, 1) || is(0, 3, 0)) return surface(k_msl, 100.0);
      return std::nullopt;
    case level_kind::soil_layer:
      if (is(0, 0, 0) || is(2, 3, 18) || is(2, 0, 2)) return soil_by_depth(k_soil_t1);
      if (is(2, 0, 192) || is(2, 3, 25)) return soil_by_depth(k_soil_m1);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::string_view upper_name(upper_field f) {
  static constexpr std::array<std::string_view, n_upper> names = {"uw", "vw", "ht", "rh", "tp"};
  return names[static_cast<std::size_t>(f)];
}

std::string_view surface_name(int k) {
  return layout::short_names_2d[static_cast<std::size_t>(k - 1)];
}

std::optional<field_kind> grib_field(const grib_code& code) {
  if (code.edition == 1) {
    if (code.category == 128) return ecmwf_table_128(code.number, code.level);
    if (code.category >= 1 && code.category <= 3) return wmo_table_2(code.number, code.level);
    return std::nullopt;
  }
  if (code.discipline == 192 && code.category == 128)
    return ecmwf_table_128(code.number, code.level);
  return wmo_grib2(code.discipline, code.category, code.number, code.level);
}

std::optional<int> soil_layer(double top, double bottom) {
  static constexpr std::array<std::array<double, 4>, 2> tops = {
      {{0.0, 0.1, 0.4, 1.0}, {0.0, 0.07, 0.28, 1.0}}};
  static constexpr std::array<std::array<double, 4>, 2> bottoms = {
      {{0.1, 0.4, 1.0, 2.0}, {0.07, 0.28, 1.0, 2.89}}};
  for (std::size_t s = 0; s < tops.size(); ++s)
    for (std::size_t n = 0; n < 4; ++n)
      if (std::fabs(top - tops[s][n]) < 1e-6 && std::fabs(bottom - bottoms[s][n]) < 1e-6)
        return static_cast<int>(n) + 1;
  return std::nullopt;
}

std::optional<field_kind> netcdf_field(std::string_view standard_name, std::string_view name,
                                       bool on_pressure_levels) {
  if (on_pressure_levels) {
    if (standard_name == "eastward_wind") return upper(upper_field::uw);
    if (standard_name == "northward_wind") return upper(upper_field::vw);
    if (standard_name == "geopotential_height") return upper(upper_field::ht);
    if (standard_name == "geopotential") return upper(upper_field::ht, gravity);
    if (standard_name == "relative_humidity") return upper(upper_field::rh);
    if (standard_name == "air_temperature") return upper(upper_field::tp);
    if (!standard_name.empty()) return std::nullopt;
    if (name == "u") return upper(upper_field::uw);
    if (name == "v") return upper(upper_field::vw);
    if (name == "gh") return upper(upper_field::ht);
    if (name == "z") return upper(upper_field::ht, gravity);
    if (name == "r") return upper(upper_field::rh);
    if (name == "t") return upper(upper_field::tp);
    return std::nullopt;
  }
  // The soil layers first: ERA5 gives stl1 the standard name of a surface temperature.
  static constexpr std::array<std::string_view, 8> soil = {"stl1", "swvl1", "stl2", "swvl2",
                                                           "stl3", "swvl3", "stl4", "swvl4"};
  for (std::size_t n = 0; n < soil.size(); ++n)
    if (name == soil[n]) return surface(k_soil_t1 + static_cast<int>(n));
  if (standard_name == "land_binary_mask" || standard_name == "land_area_fraction")
    return surface(k_lsm);
  if (standard_name == "air_pressure_at_mean_sea_level" ||
      standard_name == "air_pressure_at_sea_level")
    return surface(k_msl, 100.0);
  if (standard_name == "surface_air_pressure") return surface(k_sp, 100.0);
  // CDO names GFS's orography (height of the surface) a geopotential height.
  if (standard_name == "surface_altitude" || standard_name == "geopotential_height")
    return surface(k_orog);
  if (standard_name == "surface_geopotential" || standard_name == "geopotential")
    return surface(k_orog, gravity);
  if (!standard_name.empty()) return std::nullopt;
  if (name == "lsm") return surface(k_lsm);
  if (name == "msl" || name == "prmsl") return surface(k_msl, 100.0);
  if (name == "sp") return surface(k_sp, 100.0);
  if (name == "orog") return surface(k_orog);
  if (name == "z") return surface(k_orog, gravity);
  return std::nullopt;
}

}  // namespace c2m::prepare

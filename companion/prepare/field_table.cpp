#include "companion/prepare/field_table.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "companion/common/field_codes.hpp"

namespace c2m::prepare {

namespace {

namespace codes = companion::codes;
using companion::field_codes;

constexpr field_kind upper(upper_field f, double divisor = 1.0) {
  field_kind k;
  k.upper = f;
  k.divisor = divisor;
  return k;
}

constexpr field_kind surface(int k, double divisor = 1.0) {
  field_kind f;
  f.surface = k;
  f.divisor = divisor;
  f.mask = k == k_lsm;
  return f;
}

constexpr field_kind specific_humidity() {
  field_kind k = upper(upper_field::rh);
  k.from_specific_humidity = true;
  return k;
}

constexpr field_kind soil_by_depth(int first) {
  field_kind f = surface(first);
  f.soil_layer_by_depth = true;
  return f;
}

// What each quantity becomes on the kind of level where the analysis needs it (its unit
// change comes from the row of the code, or, in NetCDF, with it here). Soil fields get
// their layer from their depths (or from ECMWF's codes and names).
struct role {
  const field_codes* codes;
  level_kind level;
  field_kind kind;
};

constexpr field_kind soil_water_mass() {
  field_kind f = soil_by_depth(k_soil_m1);
  f.soil_water_mass = true;
  return f;
}

constexpr std::array<role, 15> roles = {{
    {&codes::eastward_wind, level_kind::isobaric, upper(upper_field::uw)},
    {&codes::northward_wind, level_kind::isobaric, upper(upper_field::vw)},
    {&codes::geopotential_height, level_kind::isobaric, upper(upper_field::ht)},
    {&codes::geopotential, level_kind::isobaric, upper(upper_field::ht, gravity)},
    {&codes::relative_humidity, level_kind::isobaric, upper(upper_field::rh)},
    {&codes::specific_humidity, level_kind::isobaric, specific_humidity()},
    {&codes::air_temperature, level_kind::isobaric, upper(upper_field::tp)},
    {&codes::land_sea_mask, level_kind::surface, surface(k_lsm)},
    {&codes::mean_sea_level_pressure, level_kind::mean_sea, surface(k_msl, 100.0)},
    {&codes::surface_pressure, level_kind::surface, surface(k_sp, 100.0)},
    {&codes::surface_altitude, level_kind::surface, surface(k_orog)},
    {&codes::surface_geopotential, level_kind::surface, surface(k_orog, gravity)},
    {&codes::soil_temperature, level_kind::soil, soil_by_depth(k_soil_t1)},
    {&codes::soil_moisture, level_kind::soil, soil_by_depth(k_soil_m1)},
    {&codes::soil_water_mass, level_kind::soil, soil_water_mass()},
}};

bool is_soil(const role& r) {
  return r.level == level_kind::soil;
}

const role* role_of(const field_codes* quantity) {
  for (const role& r : roles)
    if (r.codes == quantity) return &r;
  return nullptr;
}

}  // namespace

std::string_view upper_name(upper_field f) {
  static constexpr std::array<std::string_view, n_upper> names = {"uw", "vw", "ht", "rh", "tp"};
  return names[static_cast<std::size_t>(f)];
}

std::string_view surface_name(int k) {
  return layout::short_names_2d[static_cast<std::size_t>(k - 1)];
}

std::optional<field_kind> grib_field(const message_code& code) {
  const companion::grib_code* row = companion::find_grib_code(
      static_cast<int>(code.edition),
      static_cast<int>(code.edition == 1 ? code.category : code.discipline),
      static_cast<int>(code.edition == 1 ? 0 : code.category), static_cast<int>(code.number),
      static_cast<int>(code.centre), code.level);
  const role* r = row ? role_of(row->quantity) : nullptr;
  if (!r) return std::nullopt;
  field_kind k = r->kind;
  k.divisor = row->divisor;
  if (row->layer > 0) {
    k.surface += 2 * (row->layer - 1);
    k.soil_layer_by_depth = false;
  }
  return k;
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
                                       bool on_pressure_levels, bool on_soil_depths) {
  // On a depth axis: soil temperature (GFS's air temperature code there, as CDO keeps
  // it) and soil moisture, by standard_name or name.
  if (on_soil_depths) {
    if (codes::soil_temperature.has_standard_name(standard_name) ||
        codes::air_temperature.has_standard_name(standard_name))
      return soil_by_depth(k_soil_t1);
    if (codes::soil_moisture.has_standard_name(standard_name) ||
        (standard_name.empty() && companion::same_name(codes::soil_moisture.names[1], name)))
      return soil_by_depth(k_soil_m1);
    return std::nullopt;
  }
  // The soil layers first: ERA5 gives stl1 the standard name of a surface temperature.
  if (!on_pressure_levels)
    for (const role& r : roles)
      for (int layer = 1; is_soil(r) && layer <= 4; ++layer)
        if (companion::same_name(name, std::string(r.codes->names[0]) + std::to_string(layer))) {
          field_kind k = r.kind;
          k.surface += 2 * (layer - 1);
          k.soil_layer_by_depth = false;
          return k;
        }
  // By standard_name where the variable has one, else by its short name.
  for (const role& r : roles) {
    if (is_soil(r) || (r.level == level_kind::isobaric) != on_pressure_levels) continue;
    if (standard_name.empty() ? r.codes->has_name(name) : r.codes->has_standard_name(standard_name))
      return r.kind;
  }
  return std::nullopt;
}

}  // namespace c2m::prepare

#include "companion/prepare/field_table.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <string>

#include "common/field_slots.hpp"
#include "companion/common/field_codes.hpp"

namespace c2m::prepare {

namespace {

namespace codes = companion::codes;
using companion::field_codes;

// What each quantity the analysis reads becomes: its slot, with the unit change a NetCDF
// variable needs (a GRIB message's comes with the row of its code). Soil fields get their
// layer from their depths (or from ECMWF's codes and names).
struct role {
  const field_codes* codes;
  double divisor;
};

constexpr std::array<role, 15> roles = {{
    {&codes::eastward_wind, 1.0},
    {&codes::northward_wind, 1.0},
    {&codes::geopotential_height, 1.0},
    {&codes::geopotential, gravity},
    {&codes::relative_humidity, 1.0},
    {&codes::specific_humidity, 1.0},
    {&codes::air_temperature, 1.0},
    {&codes::land_sea_mask, 1.0},
    {&codes::mean_sea_level_pressure, 100.0},
    {&codes::surface_pressure, 100.0},
    {&codes::surface_altitude, 1.0},
    {&codes::surface_geopotential, gravity},
    {&codes::soil_temperature, 1.0},
    {&codes::soil_moisture, 1.0},
    {&codes::soil_water_mass, 1.0},
}};

bool is_soil(const role& r) {
  const slots::slot& s = *r.codes->slot;
  return !s.upper && s.position >= slots::soil_temperature(1);
}

field_kind kind_of(const role& r) {
  const slots::slot& s = *r.codes->slot;
  field_kind k;
  if (s.upper)
    k.upper = static_cast<upper_field>(s.position - 1);
  else
    k.surface = s.position;
  k.divisor = r.divisor;
  k.mask = !s.upper && s.position == k_lsm;
  k.soil_layer_by_depth = is_soil(r);
  k.soil_water_mass = r.codes == &codes::soil_water_mass;
  k.from_specific_humidity = r.codes == &codes::specific_humidity;
  return k;
}

const role* role_of(const field_codes* quantity) {
  for (const role& r : roles)
    if (r.codes == quantity) return &r;
  return nullptr;
}

}  // namespace

std::string_view upper_name(upper_field f) {
  return slots::input_3d(static_cast<std::int32_t>(f) + 1).name;
}

std::string upper_title(upper_field f) {
  std::string title(slots::input_3d(static_cast<std::int32_t>(f) + 1).long_name);
  std::transform(title.begin(), title.end(), title.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return title;
}

std::string_view surface_name(int k) {
  return slots::input_2d(k).name;
}

std::optional<field_kind> grib_field(const message_code& code) {
  const companion::grib_code* row = companion::find_grib_code(
      static_cast<int>(code.edition),
      static_cast<int>(code.edition == 1 ? code.category : code.discipline),
      static_cast<int>(code.edition == 1 ? 0 : code.category), static_cast<int>(code.number),
      static_cast<int>(code.centre), code.level);
  const role* r = row ? role_of(row->quantity) : nullptr;
  if (!r) return std::nullopt;
  field_kind k = kind_of(*r);
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
      return kind_of(*role_of(&codes::soil_temperature));
    if (codes::soil_moisture.has_standard_name(standard_name) ||
        (standard_name.empty() && companion::same_name(codes::soil_moisture.names[1], name)))
      return kind_of(*role_of(&codes::soil_moisture));
    return std::nullopt;
  }
  // The soil layers first: ERA5 gives stl1 the standard name of a surface temperature.
  if (!on_pressure_levels)
    for (const role& r : roles)
      for (int layer = 1; is_soil(r) && layer <= 4; ++layer)
        if (companion::same_name(name, std::string(r.codes->names[0]) + std::to_string(layer))) {
          field_kind k = kind_of(r);
          k.surface += 2 * (layer - 1);
          k.soil_layer_by_depth = false;
          return k;
        }
  // By standard_name where the variable has one, else by its short name.
  for (const role& r : roles) {
    if (is_soil(r) || r.codes->slot->upper != on_pressure_levels) continue;
    if (standard_name.empty() ? r.codes->has_name(name) : r.codes->has_standard_name(standard_name))
      return kind_of(r);
  }
  return std::nullopt;
}

}  // namespace c2m::prepare

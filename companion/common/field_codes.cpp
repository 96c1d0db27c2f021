#include "companion/common/field_codes.hpp"

#include <algorithm>
#include <array>
#include <cctype>

namespace c2m::companion {

namespace {

using L = code_level;
using U = code_use;
namespace q = codes;

constexpr double gravity = 9.80665;  // geopotential to geopotential height
constexpr double hpa = 100.0;        // Pa to hPa
constexpr double water = 1000.0;     // kg m-3: a mass per area to metres of water
constexpr int any = any_centre;

// GRIB 1 rows give table2Version; versions 1 to 3 are all WMO's table 2 (see matches).
// ECMWF's table 128 stands for GRIB 2's local discipline 192, category 128 too.
constexpr std::array<grib_code, 57> table = {{
    // Upper air: WMO's codes, GRIB 2 then GRIB 1.
    {2, 0, 2, 2, any, L::isobaric, &q::eastward_wind, 0, 1, "m s-1", U::read_and_written},
    {2, 0, 2, 3, any, L::isobaric, &q::northward_wind, 0, 1, "m s-1", U::read_and_written},
    {2, 0, 3, 5, any, L::isobaric, &q::geopotential_height, 0, 1, "gpm", U::read_and_written},
    {2, 0, 3, 4, any, L::isobaric, &q::geopotential, 0, gravity, "m2 s-2", U::read},
    {2, 0, 1, 1, any, L::isobaric, &q::relative_humidity, 0, 1, "%", U::read},
    {2, 0, 1, 0, any, L::isobaric, &q::specific_humidity, 0, 1, "kg kg-1", U::read_and_written},
    {2, 0, 0, 0, any, L::isobaric, &q::air_temperature, 0, 1, "K", U::read_and_written},
    {1, 2, 0, 33, any, L::isobaric, &q::eastward_wind, 0, 1, "m s-1", U::read_and_written},
    {1, 2, 0, 34, any, L::isobaric, &q::northward_wind, 0, 1, "m s-1", U::read_and_written},
    {1, 2, 0, 7, any, L::isobaric, &q::geopotential_height, 0, 1, "gpm", U::read_and_written},
    {1, 2, 0, 6, any, L::isobaric, &q::geopotential, 0, gravity, "m2 s-2", U::read},
    {1, 2, 0, 52, any, L::isobaric, &q::relative_humidity, 0, 1, "%", U::read},
    {1, 2, 0, 51, any, L::isobaric, &q::specific_humidity, 0, 1, "kg kg-1", U::read_and_written},
    {1, 2, 0, 11, any, L::isobaric, &q::air_temperature, 0, 1, "K", U::read_and_written},
    // Surface: land cover (GFS's mask, ICON's FR_LAND fraction), pressures, orography.
    {2, 2, 0, 0, any, L::surface, &q::land_sea_mask, 0, 1, "1", U::read_and_written},
    {2, 0, 3, 1, any, L::mean_sea, &q::mean_sea_level_pressure, 0, hpa, "Pa", U::read_and_written},
    {2, 0, 3, 0, any, L::mean_sea, &q::mean_sea_level_pressure, 0, hpa, "Pa", U::read},
    {2, 0, 3, 0, any, L::surface, &q::surface_pressure, 0, hpa, "Pa", U::read_and_written},
    {2, 0, 3, 5, any, L::surface, &q::surface_altitude, 0, 1, "gpm", U::read_and_written},
    {2, 0, 3, 6, any, L::surface, &q::surface_altitude, 0, 1, "m", U::read},
    {2, 2, 0, 7, any, L::surface, &q::surface_altitude, 0, 1, "m", U::read},
    {2, 0, 3, 4, any, L::surface, &q::surface_geopotential, 0, gravity, "m2 s-2", U::read},
    {1, 2, 0, 81, any, L::surface, &q::land_sea_mask, 0, 1, "1", U::read_and_written},
    {1, 2, 0, 2, any, L::mean_sea, &q::mean_sea_level_pressure, 0, hpa, "Pa", U::read_and_written},
    {1, 2, 0, 1, any, L::surface, &q::surface_pressure, 0, hpa, "Pa", U::read_and_written},
    {1, 2, 0, 7, any, L::surface, &q::surface_altitude, 0, 1, "gpm", U::read_and_written},
    {1, 2, 0, 8, any, L::surface, &q::surface_altitude, 0, 1, "m", U::read},
    {1, 2, 0, 6, any, L::surface, &q::surface_geopotential, 0, gravity, "m2 s-2", U::read},
    // Soil on depths or soil levels. GFS gives soil temperature the code of air
    // temperature; ICON gives the water of a layer as a mass per area.
    {2, 2, 3, 18, any, L::soil, &q::soil_temperature, 0, 1, "K", U::read_and_written},
    {2, 2, 0, 2, any, L::soil, &q::soil_temperature, 0, 1, "K", U::read},
    {2, 0, 0, 0, any, L::soil, &q::soil_temperature, 0, 1, "K", U::read},
    {2, 2, 0, 25, any, L::soil, &q::soil_moisture, 0, 1, "m3 m-3", U::read_and_written},
    {2, 2, 3, 25, any, L::soil, &q::soil_moisture, 0, 1, "m3 m-3", U::read},
    {2, 2, 0, 192, centre_ncep, L::soil, &q::soil_moisture, 0, 1, "m3 m-3", U::read},
    {2, 2, 3, 20, any, L::soil, &q::soil_water_mass, 0, water, "kg m-2", U::read},
    {1, 2, 0, 85, any, L::soil, &q::soil_temperature, 0, 1, "K", U::read},
    {1, 2, 0, 11, any, L::soil, &q::soil_temperature, 0, 1, "K", U::read},
    {1, 2, 0, 144, centre_ncep, L::soil, &q::soil_moisture, 0, 1, "m3 m-3", U::read},
    // ECMWF's table 128: single-level fields on whatever level the archive gives them
    // (ERA5's soil codes name their layer), geopotential at the surface only.
    {1, 128, 0, 131, centre_ecmwf, L::isobaric, &q::eastward_wind, 0, 1, "m s-1", U::read},
    {1, 128, 0, 132, centre_ecmwf, L::isobaric, &q::northward_wind, 0, 1, "m s-1", U::read},
    {1, 128, 0, 156, centre_ecmwf, L::isobaric, &q::geopotential_height, 0, 1, "gpm", U::read},
    {1, 128, 0, 129, centre_ecmwf, L::isobaric, &q::geopotential, 0, gravity, "m2 s-2", U::read},
    {1, 128, 0, 157, centre_ecmwf, L::isobaric, &q::relative_humidity, 0, 1, "%", U::read},
    {1, 128, 0, 133, centre_ecmwf, L::isobaric, &q::specific_humidity, 0, 1, "kg kg-1", U::read},
    {1, 128, 0, 130, centre_ecmwf, L::isobaric, &q::air_temperature, 0, 1, "K", U::read},
    {1, 128, 0, 172, centre_ecmwf, L::not_isobaric, &q::land_sea_mask, 0, 1, "1", U::read},
    {1, 128, 0, 151, centre_ecmwf, L::not_isobaric, &q::mean_sea_level_pressure, 0, hpa, "Pa",
     U::read},
    {1, 128, 0, 134, centre_ecmwf, L::not_isobaric, &q::surface_pressure, 0, hpa, "Pa", U::read},
    {1, 128, 0, 129, centre_ecmwf, L::surface, &q::surface_geopotential, 0, gravity, "m2 s-2",
     U::read},
    {1, 128, 0, 139, centre_ecmwf, L::not_isobaric, &q::soil_temperature, 1, 1, "K",
     U::read_and_written},
    {1, 128, 0, 170, centre_ecmwf, L::not_isobaric, &q::soil_temperature, 2, 1, "K",
     U::read_and_written},
    {1, 128, 0, 183, centre_ecmwf, L::not_isobaric, &q::soil_temperature, 3, 1, "K",
     U::read_and_written},
    {1, 128, 0, 236, centre_ecmwf, L::not_isobaric, &q::soil_temperature, 4, 1, "K",
     U::read_and_written},
    {1, 128, 0, 39, centre_ecmwf, L::not_isobaric, &q::soil_moisture, 1, 1, "m3 m-3",
     U::read_and_written},
    {1, 128, 0, 40, centre_ecmwf, L::not_isobaric, &q::soil_moisture, 2, 1, "m3 m-3",
     U::read_and_written},
    {1, 128, 0, 41, centre_ecmwf, L::not_isobaric, &q::soil_moisture, 3, 1, "m3 m-3",
     U::read_and_written},
    {1, 128, 0, 42, centre_ecmwf, L::not_isobaric, &q::soil_moisture, 4, 1, "m3 m-3",
     U::read_and_written},
}};

// ECMWF's soil levels: the four layers of its land surface scheme, in metres.
constexpr std::array<std::array<double, 2>, 4> ecmwf_soil = {
    {{0.0, 0.07}, {0.07, 0.28}, {0.28, 1.0}, {1.0, 2.89}}};

bool local(int code) {
  return code >= 192 && code <= 254;
}

bool read(const grib_code& r) {
  return r.use != code_use::written;
}

bool written(const grib_code& r) {
  return r.use != code_use::read;
}

// Whether a row's level takes a message's.
bool level_fits(code_level row, code_level message) {
  if (row == code_level::not_isobaric) return message != code_level::isobaric;
  return row == message;
}

}  // namespace

bool field_codes::has_standard_name(std::string_view name) const {
  return !name.empty() && (name == standard_name || name == standard_name_also);
}

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool field_codes::has_name(std::string_view name) const {
  return !name.empty() && std::any_of(names.begin(), names.end(),
                                      [&](std::string_view n) { return same_name(n, name); });
}

std::span<const grib_code> grib_code_table() {
  return table;
}

bool is_local_code(int edition, int table_or_discipline, int category, int number) {
  if (edition == 1) return table_or_discipline >= 128 || number >= 128;
  return local(table_or_discipline) || local(category) || local(number);
}

const grib_code* find_grib_code(int edition, int table_or_discipline, int category, int number,
                                int centre, code_level level) {
  // ECMWF encodes its table 128 in GRIB 2 as the local discipline 192, category 128.
  if (edition == 2 && table_or_discipline == 192 && category == 128)
    return find_grib_code(1, 128, 0, number, centre, level);
  // WMO's table 2 comes as versions 1 to 3.
  if (edition == 1 && table_or_discipline >= 1 && table_or_discipline <= 3) table_or_discipline = 2;
  if (edition == 1) category = 0;
  for (const grib_code& r : table)
    if (read(r) && r.edition == edition && r.table == table_or_discipline &&
        r.category == category && r.number == number &&
        (r.centre == any_centre || r.centre == centre) && level_fits(r.level, level))
      return &r;
  return nullptr;
}

const grib_code* written_grib1(const field_codes& quantity, int layer) {
  for (const grib_code& r : table)
    if (written(r) && r.edition == 1 && r.quantity == &quantity && r.layer == layer) return &r;
  return nullptr;
}

const grib_code* written_grib2(const field_codes& quantity) {
  for (const grib_code& r : table)
    if (written(r) && r.edition == 2 && r.quantity == &quantity) return &r;
  return nullptr;
}

std::string grib2_param(const field_codes& quantity) {
  const grib_code* r = written_grib2(quantity);
  if (!r) return "";
  return std::to_string(r->number) + "." + std::to_string(r->category) + "." +
         std::to_string(r->table);
}

std::optional<std::array<double, 2>> centre_soil_layer(int centre, int k) {
  if (centre == centre_ecmwf && k >= 1 && k <= static_cast<int>(ecmwf_soil.size()))
    return ecmwf_soil[static_cast<std::size_t>(k - 1)];
  return std::nullopt;
}

}  // namespace c2m::companion

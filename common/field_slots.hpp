// The slots of the input field file and of the work file: which field stands where, and
// how users read and type its name. Both files hold five 3-D fields (lm levels each,
// from the bottom) and then the surface stack of twelve; they differ only in the fourth
// 3-D field: relative humidity in the input field file, the specific humidity derived
// from it in the work file. The converter, conv2model-prepare and conv2model-inspect all
// take positions and names from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/constants.hpp"

namespace c2m::slots {

// The 3-D fields by position, from 1.
constexpr std::int32_t eastward_wind = 1, northward_wind = 2, geopotential_height = 3, humidity = 4,
                       air_temperature = 5;
constexpr std::int32_t count_3d = 5;

// The surface fields by position in the surface stack, from 1.
constexpr std::int32_t land_sea_mask = 1, sea_level_pressure = 2, surface_pressure = 3,
                       orography = 4;
constexpr std::int32_t soil_layers = 4;
constexpr std::int32_t soil_temperature(std::int32_t layer) {
  return 5 + 2 * (layer - 1);
}
constexpr std::int32_t soil_moisture(std::int32_t layer) {
  return 6 + 2 * (layer - 1);
}
constexpr std::int32_t count_2d = nsfcfld;
static_assert(soil_moisture(soil_layers) == count_2d);

struct slot {
  bool upper;                      // a 3-D field; else a surface field
  std::int32_t position;           // from 1, among the 3-D or among the surface fields
  std::string_view name;           // "ua": what every program shows and takes
  std::string_view old_name;       // "uw": still taken where a name is typed
  std::string_view standard_name;  // CF; empty where CF has none that fits
  std::string_view units;          // as the file holds the values
  std::string_view long_name;      // "Zonal wind"
  // The work file's info file names the field so, byte for byte: padded so that the unit
  // starts at character 27 (two blanks before "layer" in the soil temperatures). Empty
  // for relative humidity, which no work file holds.
  std::string_view info_name;
};

// The work file's slots in writing order: the 3-D fields, then the surface stack.
inline constexpr std::array<slot, count_3d + count_2d> work_file = {{
    {true, eastward_wind, "ua", "uw", "eastward_wind", "m/s", "Zonal wind",
     "Zonal wind                (m/s)"},
    {true, northward_wind, "va", "vw", "northward_wind", "m/s", "Meridional wind",
     "Meridional wind           (m/s)"},
    {true, geopotential_height, "zg", "ht", "geopotential_height", "m", "Geopotential height",
     "Geopotential height       (m)"},
    {true, humidity, "hus", "q", "specific_humidity", "kg/kg", "Specific humidity",
     "Specific humidity         (kg/kg)"},
    {true, air_temperature, "ta", "tp", "air_temperature", "K", "Temperature",
     "Temperature               (K)"},
    {false, land_sea_mask, "sftlf", "lsm", "land_binary_mask", "", "Land-sea mask",
     "Land-sea mask             ( )"},
    {false, sea_level_pressure, "psl", "mslp", "air_pressure_at_mean_sea_level", "hPa",
     "M S L Pressure", "M S L Pressure            (hPa)"},
    {false, surface_pressure, "ps", "psfc", "surface_air_pressure", "hPa", "Surface Pressure",
     "Surface Pressure          (hPa)"},
    {false, orography, "orog", "topo", "surface_altitude", "m", "Topography",
     "Topography                (m)"},
    {false, soil_temperature(1), "tsl1", "st1", "soil_temperature", "K", "Soil Temperature layer 1",
     "Soil Temperature  layer 1 (K)"},
    {false, soil_moisture(1), "mrsov1", "sm1", "volume_fraction_of_condensed_water_in_soil", "0-1",
     "Soil Moisture layer 1", "Soil Moisture layer 1     (0-1)"},
    {false, soil_temperature(2), "tsl2", "st2", "soil_temperature", "K", "Soil Temperature layer 2",
     "Soil Temperature  layer 2 (K)"},
    {false, soil_moisture(2), "mrsov2", "sm2", "volume_fraction_of_condensed_water_in_soil", "0-1",
     "Soil Moisture layer 2", "Soil Moisture layer 2     (0-1)"},
    {false, soil_temperature(3), "tsl3", "st3", "soil_temperature", "K", "Soil Temperature layer 3",
     "Soil Temperature  layer 3 (K)"},
    {false, soil_moisture(3), "mrsov3", "sm3", "volume_fraction_of_condensed_water_in_soil", "0-1",
     "Soil Moisture layer 3", "Soil Moisture layer 3     (0-1)"},
    {false, soil_temperature(4), "tsl4", "st4", "soil_temperature", "K", "Soil Temperature layer 4",
     "Soil Temperature  layer 4 (K)"},
    {false, soil_moisture(4), "mrsov4", "sm4", "volume_fraction_of_condensed_water_in_soil", "0-1",
     "Soil Moisture layer 4", "Soil Moisture layer 4     (0-1)"},
}};

// The input field file's fourth 3-D field; its other slots are the work file's.
inline constexpr slot input_humidity = {
    true, humidity, "hur", "rh", "relative_humidity", "%", "Relative humidity", ""};

// The slot of 3-D field f (1 to 5) and of surface field k (1 to 12), of either file.
constexpr const slot& work_3d(std::int32_t f) {
  return work_file[static_cast<std::size_t>(f - 1)];
}
constexpr const slot& work_2d(std::int32_t k) {
  return work_file[static_cast<std::size_t>(count_3d + k - 1)];
}
constexpr const slot& input_3d(std::int32_t f) {
  return f == humidity ? input_humidity : work_3d(f);
}
constexpr const slot& input_2d(std::int32_t k) {
  return work_2d(k);
}

}  // namespace c2m::slots

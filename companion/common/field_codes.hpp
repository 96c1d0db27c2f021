// The quantities the companions read or write and the one table of the GRIB codes that
// stand for them: the only place a code is named. conv2model-prepare recognises a
// message by its row (GRIB 2 discipline/category/number or GRIB 1 table/code, the
// centre where the code is a local one, the kind of level); the inspector's NetCDF
// export writes the codes marked written (CDO's code/param attributes).
//
// A code of the range a centre keeps for itself (GRIB 2 numbers 192-254 in any of the
// three, a GRIB 1 table version from 128 or a table 2 code from 128) means what its
// centre says and nothing elsewhere: its row names the centre. A producer's code not
// here is added as a row in field_codes.cpp.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/field_slots.hpp"

namespace c2m::companion {

// A quantity as CF describes it, the slot of the input field file it fills, and the
// short names producers give it in NetCDF.
struct field_codes {
  std::string_view standard_name;  // CF, as written
  std::string_view units;          // CF units of the quantity
  const slots::slot* slot;         // what it gives (soil: layer 1's; geopotential: zg)
  // Short names; soil: ERA5's with the layer appended, then the name on a depth axis.
  std::array<std::string_view, 2> names = {};
  std::string_view standard_name_also = {};  // another CF name producers give it

  bool has_standard_name(std::string_view name) const;
  bool has_name(std::string_view name) const;  // in either case: NCAR's ERA5 writes T, MSL
};

// Short names compared in either case.
bool same_name(std::string_view a, std::string_view b);

namespace codes {

inline constexpr field_codes eastward_wind{
    "eastward_wind", "m s-1", &slots::work_3d(slots::eastward_wind), {"u"}};
inline constexpr field_codes northward_wind{
    "northward_wind", "m s-1", &slots::work_3d(slots::northward_wind), {"v"}};
inline constexpr field_codes geopotential_height{
    "geopotential_height", "m", &slots::work_3d(slots::geopotential_height), {"gh"}};
inline constexpr field_codes geopotential{
    "geopotential", "m2 s-2", &slots::work_3d(slots::geopotential_height), {"z"}};
inline constexpr field_codes relative_humidity{
    "relative_humidity", "%", &slots::input_humidity, {"r"}};
// The work file's humidity; prepare turns it into relative humidity.
inline constexpr field_codes specific_humidity{
    "specific_humidity", "kg kg-1", &slots::work_3d(slots::humidity), {"q"}};
inline constexpr field_codes air_temperature{
    "air_temperature", "K", &slots::work_3d(slots::air_temperature), {"t"}};
inline constexpr field_codes land_sea_mask{
    "land_binary_mask", "1", &slots::work_2d(slots::land_sea_mask), {"lsm"}, "land_area_fraction"};
inline constexpr field_codes mean_sea_level_pressure{"air_pressure_at_mean_sea_level",
                                                     "Pa",
                                                     &slots::work_2d(slots::sea_level_pressure),
                                                     {"msl", "prmsl"},
                                                     "air_pressure_at_sea_level"};
inline constexpr field_codes surface_pressure{
    "surface_air_pressure", "Pa", &slots::work_2d(slots::surface_pressure), {"sp"}};
// Orography comes as geopotential height (GFS), geometric height or model terrain height;
// CDO names GFS's a geopotential height.
inline constexpr field_codes surface_altitude{
    "surface_altitude", "m", &slots::work_2d(slots::orography), {"orog"}, "geopotential_height"};
inline constexpr field_codes surface_geopotential{
    "surface_geopotential", "m2 s-2", &slots::work_2d(slots::orography), {"z"}, "geopotential"};
inline constexpr field_codes soil_temperature{
    "soil_temperature", "K", &slots::work_2d(slots::soil_temperature(1)), {"stl"}};
inline constexpr field_codes soil_moisture{"volume_fraction_of_condensed_water_in_soil",
                                           "1",
                                           &slots::work_2d(slots::soil_moisture(1)),
                                           {"swvl", "soilw"}};
// Water in a soil layer as a mass per area (ICON's W_SO): a volume fraction once divided
// by the density of water and the layer's thickness.
inline constexpr field_codes soil_water_mass{"mass_content_of_water_in_soil_layer", "kg m-2",
                                             &slots::work_2d(slots::soil_moisture(1))};

}  // namespace codes

// The kind of level a code gives a quantity on, as the message's level types say.
enum class code_level {
  isobaric,      // GRIB 2 100, GRIB 1 100
  surface,       // 1
  mean_sea,      // GRIB 2 101, GRIB 1 102
  soil,          // depths below ground (GRIB 2 106, GRIB 1 112), or soil levels (GRIB 2 151)
  not_isobaric,  // any but a pressure level: ECMWF's single-level codes
  other,         // none of these: a message's level only, never a row's
};

enum class code_use { read, written, read_and_written };

inline constexpr int any_centre = -1;

// One row of the table.
struct grib_code {
  int edition;   // 1 or 2
  int table;     // GRIB 2 discipline; GRIB 1 table2Version (1 to 3: WMO's table 2)
  int category;  // GRIB 2 parameterCategory; GRIB 1: 0
  int number;    // GRIB 2 parameterNumber; GRIB 1 indicatorOfParameter
  int centre;    // the centre of a local code; any_centre for WMO's
  code_level level;
  const field_codes* quantity;
  int layer;              // ECMWF's soil codes name their layer (1 to 4); else 0
  double divisor;         // from the message's unit to the quantity's (or the written one)
  std::string_view unit;  // the message's unit
  code_use use;
};

// The table, in order of preference: the first row that fits a message gives it.
std::span<const grib_code> grib_code_table();

// Whether a GRIB 2 discipline/category/number, or GRIB 1 table/code, lies in a range
// that centres keep for their own meanings.
bool is_local_code(int edition, int table, int category, int number);

// The row that fits a message, or nothing. `table` is GRIB 1's table2Version or GRIB 2's
// discipline; `category` is 0 in GRIB 1.
const grib_code* find_grib_code(int edition, int table, int category, int number, int centre,
                                code_level level);

// The codes the inspector writes for a quantity: GRIB 1 (for soil, ECMWF's per layer) and
// GRIB 2; nothing where the table marks none.
const grib_code* written_grib1(const field_codes& q, int layer);
const grib_code* written_grib2(const field_codes& q);
// "number.category.discipline", CDO's param attribute; empty where there is none.
std::string grib2_param(const field_codes& q);

// The depths in metres (top, bottom) of soil level k (from 1) of a centre's layering,
// where the table knows it: ECMWF's four layers of 0-7, 7-28, 28-100, 100-289 cm.
std::optional<std::array<double, 2>> centre_soil_layer(int centre, int k);

// The centres named above.
inline constexpr int centre_ncep = 7, centre_ecmwf = 98, centre_dwd = 78;

}  // namespace c2m::companion

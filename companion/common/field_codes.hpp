// The codes that name each quantity the companions read or write: the CF standard_name
// and units, the GRIB 1 code of WMO table 2, the GRIB 2 discipline/category/number, ECMWF's
// table 128 and the short names producers use. The inspector's NetCDF export writes the
// first code of each (CDO's code/param attributes); conv2model-prepare recognises a field
// by any of them.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace c2m::companion {

struct grib2_code {
  int discipline = -1, category = -1, number = -1;
  constexpr bool operator==(const grib2_code&) const = default;
};

struct field_codes {
  std::string_view standard_name;             // CF, as written
  std::string_view units;                     // CF units of the quantity
  int grib1 = 0;                              // WMO table 2, as written; 0: none
  grib2_code grib2;                           // WMO code table 4.2, as written
  std::array<int, 2> grib1_read = {};         // table 2 codes read as this quantity
  std::array<grib2_code, 3> grib2_read = {};  // GRIB 2 codes read, centres' own included
  std::array<int, 4> ecmwf = {};              // table 128; soil fields: one code per layer
  // Short names; soil: ERA5's with the layer appended, then the name on a depth axis.
  std::array<std::string_view, 2> names = {};
  std::string_view standard_name_also = {};  // another CF name producers give it

  bool has_grib1(long code) const;
  bool has_grib2(long discipline, long category, long number) const;
  bool has_ecmwf(long code) const;
  bool has_standard_name(std::string_view name) const;
  bool has_name(std::string_view name) const;  // in either case: NCAR's ERA5 writes T, MSL
  // "number.category.discipline", CDO's param attribute; empty where there is none.
  std::string grib2_param() const;
};

// Short names compared in either case.
bool same_name(std::string_view a, std::string_view b);

namespace codes {

inline constexpr field_codes eastward_wind{"eastward_wind", "m s-1", 33,   {0, 2, 2}, {33},
                                           {{{0, 2, 2}}},   {131},   {"u"}};
inline constexpr field_codes northward_wind{"northward_wind", "m s-1", 34,   {0, 2, 3}, {34},
                                            {{{0, 2, 3}}},    {132},   {"v"}};
inline constexpr field_codes geopotential_height{
    "geopotential_height", "m", 7, {0, 3, 5}, {7}, {{{0, 3, 5}}}, {156}, {"gh"}};
inline constexpr field_codes geopotential{"geopotential", "m2 s-2", 6,    {0, 3, 4}, {6},
                                          {{{0, 3, 4}}},  {129},    {"z"}};
inline constexpr field_codes relative_humidity{"relative_humidity", "%",   52,   {0, 1, 1}, {52},
                                               {{{0, 1, 1}}},       {157}, {"r"}};
inline constexpr field_codes specific_humidity{
    "specific_humidity", "kg kg-1", 51, {0, 1, 0}, {51}, {{{0, 1, 0}}}, {133}, {"q"}};
inline constexpr field_codes air_temperature{"air_temperature", "K",   11,   {0, 0, 0}, {11},
                                             {{{0, 0, 0}}},     {130}, {"t"}};
inline constexpr field_codes land_sea_mask{
    "land_binary_mask", "1",   81,      {2, 0, 0},           {81},
    {{{2, 0, 0}}},      {172}, {"lsm"}, "land_area_fraction"};
inline constexpr field_codes mean_sea_level_pressure{"air_pressure_at_mean_sea_level",
                                                     "Pa",
                                                     2,
                                                     {0, 3, 1},
                                                     {2},
                                                     {{{0, 3, 1}, {0, 3, 0}}},
                                                     {151},
                                                     {"msl", "prmsl"},
                                                     "air_pressure_at_sea_level"};
inline constexpr field_codes surface_pressure{"surface_air_pressure", "Pa",  1,     {0, 3, 0}, {1},
                                              {{{0, 3, 0}}},          {134}, {"sp"}};
// Orography comes as geopotential height (GFS), geometric height or model terrain height;
// CDO names GFS's a geopotential height.
inline constexpr field_codes surface_altitude{"surface_altitude",
                                              "m",
                                              7,
                                              {0, 3, 5},
                                              {7, 8},
                                              {{{0, 3, 5}, {0, 3, 6}, {2, 0, 7}}},
                                              {},
                                              {"orog"},
                                              "geopotential_height"};
inline constexpr field_codes surface_geopotential{
    "surface_geopotential", "m2 s-2", 6,     {0, 3, 4},     {6},
    {{{0, 3, 4}}},          {129},    {"z"}, "geopotential"};
// GFS gives soil temperature the code of air temperature on a soil layer.
inline constexpr field_codes soil_temperature{
    "soil_temperature",   "K",    85, {2, 3, 18}, {85, 11}, {{{2, 3, 18}, {2, 0, 2}, {0, 0, 0}}},
    {139, 170, 183, 236}, {"stl"}};
// Written under table 2's soil moisture content, CDO's choice; read only as the volume
// fractions of NCEP's table (144 and its GRIB 2 local 2/0/192) and of WMO.
inline constexpr field_codes soil_moisture{"volume_fraction_of_condensed_water_in_soil",
                                           "1",
                                           86,
                                           {2, 0, 25},
                                           {144},
                                           {{{2, 0, 25}, {2, 3, 25}, {2, 0, 192}}},
                                           {39, 40, 41, 42},
                                           {"swvl", "soilw"}};

}  // namespace codes

}  // namespace c2m::companion

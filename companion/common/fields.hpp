// What the companions know about the fields a work file can hold: a short name for
// the command line and the NetCDF variable (the CF and CMIP short names, which no GRIB
// tool takes for one of its own parameters), the CF description, the GRIB parameter CDO
// encodes it as, and the range its values plausibly take.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/field_slots.hpp"

namespace c2m::companion {

// A plausible range of valid values; a mask accepts exactly the two ends.
struct plausible_range {
  bool checked = false;
  bool mask = false;
  float low = 0.0f, high = 0.0f;
};

// One field as the info file names it, for example "Soil Temperature  layer 1 (K)".
struct field_desc {
  const slots::slot* slot = nullptr;  // the work file's slot; none for unknown fields
  std::string short_name;             // tsl, for every soil temperature layer
  std::string old_name;       // st1: the name this tool used before; empty for unknown fields
  std::string long_name;      // Soil Temperature layer 1
  std::string units;          // K, as written in the info file's parentheses
  std::string cf_units;       // K; Pa for pressures given in hPa (see pa_per_unit)
  float pa_per_unit = 1.0f;   // 100 for hPa: the export writes pressures in Pa
  std::string standard_name;  // soil_temperature; empty where CF has none that fits
  int soil_layer = 0;         // 1 to 4 for the soil fields, which share one variable
  int grib1_code = 0;         // for CDO's code/table attributes; 0: none
  int grib1_table = 2;        // WMO table 2; ECMWF's 128 for the soil layers
  std::string grib2_param;    // "number.category.discipline", for CDO's param attribute
  plausible_range range;
};

// The plausible range of the values conv2model-prepare puts into field k (from 0, in
// writing order: the five upper-air fields, then the twelve surface fields), in the units
// of the input field file. They are the work file's, except that the fourth upper-air
// field is relative humidity (%) and the land-sea mask is still a fraction there.
plausible_range input_range(std::size_t k);

// Splits an info-file field name into name and units and looks the name up among the
// fields conv2model writes. An unknown name still gets a short name made from its text.
field_desc describe_field(std::string_view info_name);

// Whether a command-line field name stands for f: its short name (with the layer,
// "tsl2", for soil fields) or its older name.
bool names_field(const field_desc& f, std::string_view name);

// Whether f is the work file's field in slot s.
bool is(const field_desc& f, const slots::slot& s);

// Whether f has values over land only (topography, the soil layers): over sea they are
// fill, neither drawn nor checked as data.
bool defined_over_land_only(const field_desc& f);

// The name a record is shown under: the short name, with the layer for soil fields.
std::string display_name(const field_desc& f);

}  // namespace c2m::companion

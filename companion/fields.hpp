// What conv2model-inspect knows about the fields a work file can hold: a short name
// for the command line and the NetCDF variable, a CF standard name, and which
// plausibility check its values get.
#pragma once

#include <string>
#include <string_view>

namespace c2m::inspect {

enum class range_check {
  none,
  temperature,    // 150 K to 350 K
  humidity,       // not negative
  mask,           // exactly 0 or 1
  soil_moisture,  // 0 to 1
};

// One field as the info file names it, for example "Soil Temperature  layer 1 (K)".
struct field_desc {
  std::string short_name;     // st1
  std::string long_name;      // Soil Temperature layer 1
  std::string units;          // K, as written in the info file's parentheses
  std::string standard_name;  // soil_temperature; empty where CF has none that fits
  range_check check = range_check::none;
};

// Splits an info-file field name into name and units and looks the name up among the
// fields conv2model writes. An unknown name still gets a short name made from its text.
field_desc describe_field(std::string_view info_name);

// Units as CF expects them: the dimensionless "( )" and "(0-1)" become "1".
std::string cf_units(std::string_view units);

}  // namespace c2m::inspect

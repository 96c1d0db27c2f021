#include "companion/fields.hpp"

#include <array>
#include <cctype>

namespace c2m::inspect {

namespace {

struct known_field {
  std::string_view long_name;
  std::string_view short_name;
  std::string_view standard_name;
  range_check check;
};

constexpr std::array<known_field, 17> known = {{
    {"Zonal wind", "uw", "eastward_wind", range_check::none},
    {"Meridional wind", "vw", "northward_wind", range_check::none},
    {"Geopotential height", "ht", "geopotential_height", range_check::none},
    {"Specific humidity", "q", "specific_humidity", range_check::humidity},
    {"Temperature", "tp", "air_temperature", range_check::temperature},
    {"Land-sea mask", "lsm", "land_binary_mask", range_check::mask},
    {"M S L Pressure", "mslp", "air_pressure_at_mean_sea_level", range_check::none},
    {"Surface Pressure", "psfc", "surface_air_pressure", range_check::none},
    {"Topography", "topo", "surface_altitude", range_check::none},
    {"Soil Temperature layer 1", "st1", "soil_temperature", range_check::temperature},
    {"Soil Moisture layer 1", "sm1", "", range_check::soil_moisture},
    {"Soil Temperature layer 2", "st2", "soil_temperature", range_check::temperature},
    {"Soil Moisture layer 2", "sm2", "", range_check::soil_moisture},
    {"Soil Temperature layer 3", "st3", "soil_temperature", range_check::temperature},
    {"Soil Moisture layer 3", "sm3", "", range_check::soil_moisture},
    {"Soil Temperature layer 4", "st4", "soil_temperature", range_check::temperature},
    {"Soil Moisture layer 4", "sm4", "", range_check::soil_moisture},
}};

// Trims the ends and folds every run of blanks into one: the info file pads names with
// blanks to align the units.
std::string squeeze(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == ' ' || c == '\t') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// Lower-case letters, digits and underscores, starting with a letter.
std::string make_short_name(std::string_view long_name) {
  std::string out;
  for (const char c : long_name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isalnum(u))
      out += static_cast<char>(std::tolower(u));
    else if (!out.empty() && out.back() != '_')
      out += '_';
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  if (out.empty() || !std::isalpha(static_cast<unsigned char>(out.front()))) out = "f_" + out;
  return out;
}

}  // namespace

field_desc describe_field(std::string_view info_name) {
  field_desc d;
  std::string_view name = info_name;
  const std::size_t open = info_name.rfind('(');
  if (open != std::string_view::npos && info_name.find(')', open) != std::string_view::npos) {
    name = info_name.substr(0, open);
    d.units = squeeze(info_name.substr(open + 1, info_name.find(')', open) - open - 1));
  }
  d.long_name = squeeze(name);
  for (const known_field& k : known) {
    if (k.long_name == d.long_name) {
      d.short_name = k.short_name;
      d.standard_name = k.standard_name;
      d.check = k.check;
      return d;
    }
  }
  d.short_name = make_short_name(d.long_name);
  return d;
}

std::string cf_units(std::string_view units) {
  if (units.empty() || units == "0-1") return "1";
  return std::string(units);
}

}  // namespace c2m::inspect

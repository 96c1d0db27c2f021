#include "companion/common/fields.hpp"

#include <array>
#include <cctype>
#include <tuple>
#include <utility>

#include "common/work_layout.hpp"
#include "companion/common/field_codes.hpp"

namespace c2m::companion {

namespace {

namespace codes = companion::codes;

// What the inspector adds to each field the info file names, in writing order: the
// five 3-D fields, then the twelve surface fields.
struct known_field {
  std::string_view short_name;
  std::string_view old_name;
  const companion::field_codes* codes;
  float pa_per_unit;
  int soil_layer;
  plausible_range range;
};

constexpr plausible_range between(float low, float high) {
  return {true, false, low, high};
}
constexpr plausible_range zero_or_one = {true, true, 0.0f, 1.0f};

// The soil layers of one quantity share a variable and a GRIB parameter.
constexpr known_field soil_temperature(std::string_view old_name, int layer) {
  return {"tsl", old_name, &codes::soil_temperature, 1, layer, between(150, 350)};
}
constexpr known_field soil_moisture(std::string_view old_name, int layer) {
  return {"mrsov", old_name, &codes::soil_moisture, 1, layer, between(0, 1.001f)};
}

// Ranges: winds as in the strongest jets, heights from below sea level to the
// stratopause, pressures from a deep cyclone to a strong high (hPa as the work file holds
// them), surface pressure down to the highest summits, soil moisture (a volume fraction)
// up to the 1.001 that NCEP's analyses hold over land ice.
constexpr std::array<known_field, layout::fields_3d + layout::fields_2d> known = {{
    {"ua", layout::short_names_3d[0], &codes::eastward_wind, 1, 0, between(-150, 150)},
    {"va", layout::short_names_3d[1], &codes::northward_wind, 1, 0, between(-150, 150)},
    {"zg", layout::short_names_3d[2], &codes::geopotential_height, 1, 0, between(-1000, 80000)},
    {"hus", layout::short_names_3d[3], &codes::specific_humidity, 1, 0, between(0, 0.05f)},
    {"ta", layout::short_names_3d[4], &codes::air_temperature, 1, 0, between(150, 350)},
    {"sftlf", layout::short_names_2d[0], &codes::land_sea_mask, 1, 0, zero_or_one},
    {"psl", layout::short_names_2d[1], &codes::mean_sea_level_pressure, 100, 0, between(850, 1100)},
    {"ps", layout::short_names_2d[2], &codes::surface_pressure, 100, 0, between(300, 1100)},
    {"orog", layout::short_names_2d[3], &codes::surface_altitude, 1, 0, between(-450, 9000)},
    soil_temperature(layout::short_names_2d[4], 1),
    soil_moisture(layout::short_names_2d[5], 1),
    soil_temperature(layout::short_names_2d[6], 2),
    soil_moisture(layout::short_names_2d[7], 2),
    soil_temperature(layout::short_names_2d[8], 3),
    soil_moisture(layout::short_names_2d[9], 3),
    soil_temperature(layout::short_names_2d[10], 4),
    soil_moisture(layout::short_names_2d[11], 4),
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

// The info file's name of field k (0-based) in writing order.
std::string_view info_text(std::size_t k) {
  constexpr auto n3 = static_cast<std::size_t>(layout::fields_3d);
  return k < n3 ? layout::field_names_3d[k] : layout::field_names_2d[k - n3];
}

// Splits an info-file name into its name, blanks folded, and the units in its last
// parentheses.
std::pair<std::string, std::string> split_name(std::string_view info_name) {
  std::string_view name = info_name;
  std::string units;
  const std::size_t open = info_name.rfind('(');
  if (open != std::string_view::npos && info_name.find(')', open) != std::string_view::npos) {
    name = info_name.substr(0, open);
    units = squeeze(info_name.substr(open + 1, info_name.find(')', open) - open - 1));
  }
  return {squeeze(name), units};
}

// Relative humidity: ERA5 gives it over ice below -23 C, where air holds up to about half
// as much again as over water.
constexpr plausible_range relative_humidity = between(0, 150);

}  // namespace

plausible_range input_range(std::size_t k) {
  constexpr std::size_t rh = 3, lsm = layout::fields_3d;
  if (k == rh) return relative_humidity;
  if (k == lsm) return between(0, 1);
  return known.at(k).range;
}

field_desc describe_field(std::string_view info_name) {
  field_desc d;
  std::tie(d.long_name, d.units) = split_name(info_name);
  for (std::size_t k = 0; k < known.size(); ++k) {
    if (split_name(info_text(k)).first != d.long_name) continue;
    const known_field& f = known[k];
    d.short_name = f.short_name;
    d.old_name = f.old_name;
    d.cf_units = f.codes->units;
    d.pa_per_unit = f.pa_per_unit;
    d.standard_name = f.codes->standard_name;
    d.soil_layer = f.soil_layer;
    // WMO table 2 has no volumetric soil moisture and no code per soil layer: in GRIB 1
    // the layers take ECMWF's table 128, a code each (stl1..4, swvl1..4).
    if (const companion::grib_code* c = companion::written_grib1(*f.codes, f.soil_layer)) {
      d.grib1_code = c->number;
      d.grib1_table = c->table;
    }
    d.grib2_param = companion::grib2_param(*f.codes);
    d.range = f.range;
    return d;
  }
  d.short_name = make_short_name(d.long_name);
  d.cf_units = d.units.empty() || d.units == "0-1" ? "1" : d.units;
  return d;
}

bool defined_over_land_only(const field_desc& f) {
  return f.standard_name == "surface_altitude" || f.soil_layer > 0;
}

std::string display_name(const field_desc& f) {
  return f.soil_layer > 0 ? f.short_name + std::to_string(f.soil_layer) : f.short_name;
}

bool names_field(const field_desc& f, std::string_view name) {
  return name == display_name(f) || (!f.old_name.empty() && name == f.old_name);
}

}  // namespace c2m::companion

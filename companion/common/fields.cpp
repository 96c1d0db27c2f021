#include "companion/common/fields.hpp"

#include <array>
#include <cctype>
#include <tuple>
#include <utility>

#include "common/field_slots.hpp"
#include "common/work_layout.hpp"
#include "companion/common/field_codes.hpp"

namespace c2m::companion {

namespace {

namespace codes = companion::codes;

// What the inspector adds to each slot of the work file, in writing order: the five 3-D
// fields, then the twelve surface fields.
struct known_field {
  const slots::slot* slot;
  std::string_view variable;  // the NetCDF variable: the slot's name; one for all soil layers
  const companion::field_codes* codes;
  float pa_per_unit;
  int soil_layer;
  plausible_range range;
};

constexpr plausible_range between(float low, float high) {
  return {true, false, low, high};
}
constexpr plausible_range zero_or_one = {true, true, 0.0f, 1.0f};

constexpr known_field surface(std::int32_t k, const companion::field_codes& codes,
                              float pa_per_unit, plausible_range range) {
  return {&slots::work_2d(k), slots::work_2d(k).name, &codes, pa_per_unit, 0, range};
}
constexpr known_field upper(std::int32_t f, const companion::field_codes& codes,
                            plausible_range range) {
  return {&slots::work_3d(f), slots::work_3d(f).name, &codes, 1, 0, range};
}

// The soil layers of one quantity share a variable, named as the slots without the
// layer, and a GRIB parameter.
constexpr std::string_view without_layer(std::string_view name) {
  return name.substr(0, name.find_last_not_of("0123456789") + 1);
}
constexpr known_field soil(std::int32_t k, int layer, const companion::field_codes& codes,
                           plausible_range range) {
  return {&slots::work_2d(k), without_layer(slots::work_2d(k).name), &codes, 1, layer, range};
}
constexpr known_field soil_temperature(int layer) {
  return soil(slots::soil_temperature(layer), layer, codes::soil_temperature, between(150, 350));
}
constexpr known_field soil_moisture(int layer) {
  return soil(slots::soil_moisture(layer), layer, codes::soil_moisture, between(0, 1.001f));
}

// Ranges: winds as in the strongest jets, heights from below sea level to the
// stratopause, pressures from a deep cyclone to a strong high (hPa as the work file holds
// them), surface pressure down to the highest summits, soil moisture (a volume fraction)
// up to the 1.001 that NCEP's analyses hold over land ice.
constexpr std::array<known_field, layout::fields_3d + layout::fields_2d> known = {{
    upper(slots::eastward_wind, codes::eastward_wind, between(-150, 150)),
    upper(slots::northward_wind, codes::northward_wind, between(-150, 150)),
    upper(slots::geopotential_height, codes::geopotential_height, between(-1000, 80000)),
    upper(slots::humidity, codes::specific_humidity, between(0, 0.05f)),
    upper(slots::air_temperature, codes::air_temperature, between(150, 350)),
    surface(slots::land_sea_mask, codes::land_sea_mask, 1, zero_or_one),
    surface(slots::sea_level_pressure, codes::mean_sea_level_pressure, 100, between(850, 1100)),
    surface(slots::surface_pressure, codes::surface_pressure, 100, between(300, 1100)),
    surface(slots::orography, codes::surface_altitude, 1, between(-450, 9000)),
    soil_temperature(1),
    soil_moisture(1),
    soil_temperature(2),
    soil_moisture(2),
    soil_temperature(3),
    soil_moisture(3),
    soil_temperature(4),
    soil_moisture(4),
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
  if (&slots::work_3d(slots::humidity) == known.at(k).slot) return relative_humidity;
  if (&slots::work_2d(slots::land_sea_mask) == known[k].slot) return between(0, 1);
  return known[k].range;
}

field_desc describe_field(std::string_view info_name) {
  field_desc d;
  std::tie(d.long_name, d.units) = split_name(info_name);
  for (std::size_t k = 0; k < known.size(); ++k) {
    const known_field& f = known[k];
    if (split_name(f.slot->info_name).first != d.long_name) continue;
    d.slot = f.slot;
    d.short_name = f.variable;
    d.old_name = f.slot->old_name;
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

bool is(const field_desc& f, const slots::slot& s) {
  return f.slot == &s;
}

bool defined_over_land_only(const field_desc& f) {
  return is(f, slots::work_2d(slots::orography)) || f.soil_layer > 0;
}

std::string display_name(const field_desc& f) {
  return f.soil_layer > 0 ? f.short_name + std::to_string(f.soil_layer) : f.short_name;
}

bool names_field(const field_desc& f, std::string_view name) {
  return name == display_name(f) || (!f.old_name.empty() && name == f.old_name);
}

}  // namespace c2m::companion

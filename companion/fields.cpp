#include "companion/fields.hpp"

#include <array>
#include <cctype>
#include <tuple>
#include <utility>

#include "common/work_layout.hpp"

namespace c2m::inspect {

namespace {

// What the inspector adds to each field the info file names, in writing order: the
// five 3-D fields, then the twelve surface fields.
struct known_field {
  std::string_view short_name;
  std::string_view standard_name;
  range_check check;
};

constexpr std::array<known_field, layout::fields_3d + layout::fields_2d> known = {{
    {"uw", "eastward_wind", range_check::none},
    {"vw", "northward_wind", range_check::none},
    {"ht", "geopotential_height", range_check::none},
    {"q", "specific_humidity", range_check::humidity},
    {"tp", "air_temperature", range_check::temperature},
    {"lsm", "land_binary_mask", range_check::mask},
    {"mslp", "air_pressure_at_mean_sea_level", range_check::none},
    {"psfc", "surface_air_pressure", range_check::none},
    {"topo", "surface_altitude", range_check::none},
    {"st1", "soil_temperature", range_check::temperature},
    {"sm1", "", range_check::soil_moisture},
    {"st2", "soil_temperature", range_check::temperature},
    {"sm2", "", range_check::soil_moisture},
    {"st3", "soil_temperature", range_check::temperature},
    {"sm3", "", range_check::soil_moisture},
    {"st4", "soil_temperature", range_check::temperature},
    {"sm4", "", range_check::soil_moisture},
}};

// The info file's name of field k (0-based) in writing order.
std::string_view info_text(std::size_t k) {
  constexpr auto n3 = static_cast<std::size_t>(layout::fields_3d);
  return k < n3 ? layout::field_names_3d[k] : layout::field_names_2d[k - n3];
}

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

}  // namespace

field_desc describe_field(std::string_view info_name) {
  field_desc d;
  std::tie(d.long_name, d.units) = split_name(info_name);
  for (std::size_t k = 0; k < known.size(); ++k) {
    if (split_name(info_text(k)).first == d.long_name) {
      d.short_name = known[k].short_name;
      d.standard_name = known[k].standard_name;
      d.check = known[k].check;
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

#include "companion/common/field_codes.hpp"

#include <algorithm>
#include <cctype>

namespace c2m::companion {

bool field_codes::has_grib1(long code) const {
  return code > 0 && std::find(grib1_read.begin(), grib1_read.end(), code) != grib1_read.end();
}

bool field_codes::has_grib2(long discipline, long category, long number) const {
  const grib2_code c{static_cast<int>(discipline), static_cast<int>(category),
                     static_cast<int>(number)};
  return c.discipline >= 0 &&
         std::find(grib2_read.begin(), grib2_read.end(), c) != grib2_read.end();
}

bool field_codes::has_ecmwf(long code) const {
  return code > 0 && std::find(ecmwf.begin(), ecmwf.end(), code) != ecmwf.end();
}

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

std::string field_codes::grib2_param() const {
  if (grib2.discipline < 0) return "";
  return std::to_string(grib2.number) + "." + std::to_string(grib2.category) + "." +
         std::to_string(grib2.discipline);
}

}  // namespace c2m::companion

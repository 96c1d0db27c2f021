// What is taken from the fields found for one valid time: one source per upper-air field
// and pressure level, one per surface field, and the levels every upper-air field has.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "companion/prepare/soil_layers.hpp"
#include "companion/prepare/source_field.hpp"

namespace c2m::prepare {

struct selection {
  std::vector<double> levels;                           // hPa, bottom first
  std::vector<std::vector<const source_field*>> upper;  // [field][level]
  std::vector<const source_field*> surface;             // [k - 1], null if absent; a mapped
                                                        // soil field: its first source
  std::vector<const source_field*> ignored;             // found again in a later place
  std::vector<found_again> again;                       // each of those, with the one kept
  soil_plan soil;                                       // the soil fields kept or mapped
  std::vector<const source_field*> unknown_soil;        // soil fields of unknown depths
  std::vector<std::string> absent_soil;                 // "tsl1 (soil temperature layer 1)"
};

// Chooses the fields; `levels` are those asked for (empty: every level that all five
// upper-air fields have, with a note for each level left out). Relative humidity is
// taken where the files give it, else specific humidity, to be converted. Soil of another
// layering is mapped onto `soil_layers` (or the source's own four, or GFS's), said on
// `warn`. Throws run_error when a field the converter needs is absent.
selection select(const std::vector<const source_field*>& found, const std::vector<double>& levels,
                 const std::optional<soil_bounds>& soil_layers, std::ostream& warn);

// Every field chosen lies on the grid of the first upper-air field.
void check_one_grid(const selection& sel);

std::string level_text(double hpa);              // "850"
std::string field_label(const source_field& s);  // "ta 850 hPa", "sftlf"
std::string surface_title(int k);                // "soil temperature layer 1"

}  // namespace c2m::prepare

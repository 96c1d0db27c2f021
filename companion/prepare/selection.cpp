#include "companion/prepare/selection.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "companion/prepare/prepare.hpp"

namespace c2m::prepare {

namespace {

bool same_level(double a, double b) {
  return std::fabs(a - b) <= 1e-6 * std::max(a, b);
}

std::string upper_text(std::size_t f) {
  const auto u = static_cast<upper_field>(f);
  return upper_title(u) + " (" + std::string(upper_name(u)) + ")";
}

using by_level_t = std::array<std::map<double, const source_field*>, n_upper>;

const source_field** at_level(by_level_t& by_level, const source_field& s) {
  auto& m = by_level[static_cast<std::size_t>(s.kind.upper)];
  for (auto& [level, found] : m)
    if (same_level(level, s.level_hpa)) return &found;
  return nullptr;
}

bool has_level(const by_level_t& by_level, std::size_t f, double level) {
  return std::any_of(by_level[f].begin(), by_level[f].end(),
                     [&](const auto& e) { return same_level(e.first, level); });
}

// The first source of each upper-air field and level and of each surface field; later
// ones are ignored (and compared with it once read), except that relative humidity takes
// the place of specific humidity.
by_level_t sort_by_level(const std::vector<const source_field*>& found, selection& sel,
                         std::vector<const source_field*>& soil) {
  by_level_t by_level;
  sel.surface.assign(nsfcfld, nullptr);
  for (const source_field* s : found) {
    if (s->kind.soil_layer_by_depth || s->kind.surface >= k_soil_t1) {
      soil.push_back(s);
    } else if (s->kind.surface) {
      const source_field*& slot = sel.surface[static_cast<std::size_t>(s->kind.surface - 1)];
      if (slot) {
        sel.ignored.push_back(s);
        sel.again.push_back({slot, s});
      } else {
        slot = s;
      }
    } else if (const source_field** slot = at_level(by_level, *s)) {
      const bool better = (*slot)->kind.from_specific_humidity && !s->kind.from_specific_humidity;
      sel.ignored.push_back(better ? *slot : s);
      if (better)
        *slot = s;
      else
        sel.again.push_back({*slot, s});
    } else {
      by_level[static_cast<std::size_t>(s->kind.upper)].emplace(s->level_hpa, s);
    }
  }
  for (std::size_t f = 0; f < n_upper; ++f)
    if (by_level[f].empty())
      throw run_error("no " + upper_text(f) + " on pressure levels in the input" +
                      (f == static_cast<std::size_t>(upper_field::hur)
                           ? " (nor specific humidity, q, to derive it from)"
                           : ""));
  return by_level;
}

// The levels every upper-air field has; one note names the levels left out and why.
std::vector<double> common_levels(const by_level_t& by_level, std::ostream& warn) {
  std::vector<double> levels;
  std::map<double, std::string, std::greater<>> left_out;
  std::map<double, bool, std::greater<>> all;
  for (const auto& m : by_level)
    for (const auto& e : m) all[e.first] = true;
  for (const auto& entry : all) {
    const double level = entry.first;  // a plain name: clang 14 cannot capture a binding
    if (std::any_of(levels.begin(), levels.end(), [&](double l) { return same_level(l, level); }))
      continue;
    std::string lacking;
    for (std::size_t f = 0; f < n_upper; ++f)
      if (!has_level(by_level, f, level))
        lacking +=
            (lacking.empty() ? "" : ", ") + std::string(upper_name(static_cast<upper_field>(f)));
    if (lacking.empty())
      levels.push_back(level);
    else
      left_out[level] = lacking;
  }
  for (const auto& [level, lacking] : left_out)
    warn << program << ": note: " << level_text(level) << " hPa left out: no " << lacking
         << " there (all five upper-air fields are needed on a level)\n";
  if (levels.empty()) throw run_error("no pressure level holds all five upper-air fields");
  return levels;
}

// The levels asked for, each present for every field.
std::vector<double> asked_levels(const by_level_t& by_level, const std::vector<double>& asked) {
  for (double level : asked)
    for (std::size_t f = 0; f < n_upper; ++f)
      if (!has_level(by_level, f, level)) {
        std::string present;
        for (const auto& e : by_level[f]) present.append(" ").append(level_text(e.first));
        throw run_error("no " + upper_text(f) + " at " + level_text(level) +
                        " hPa in the input; it has the levels (hPa)" + present);
      }
  return asked;
}

void check_surface(selection& sel) {
  for (int k = k_lsm; k <= k_orog; ++k)
    if (!sel.surface[static_cast<std::size_t>(k - 1)])
      throw run_error("no " + std::string(surface_name(k)) + " (" + surface_title(k) +
                      ") in the input");
  for (int k = k_soil_t1; k <= nsfcfld; ++k)
    if (!sel.surface[static_cast<std::size_t>(k - 1)])
      sel.absent_soil.push_back(std::string(surface_name(k)) + " (" + surface_title(k) + ")");
}

}  // namespace

std::string level_text(double hpa) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", hpa);
  return buf;
}

std::string field_label(const source_field& s) {
  if (s.kind.surface) return std::string(surface_name(s.kind.surface));
  return std::string(upper_name(s.kind.upper)) + " " + level_text(s.level_hpa) + " hPa";
}

std::string surface_title(int k) {
  switch (k) {
    case k_lsm:
      return "land-sea mask";
    case k_msl:
      return "mean-sea-level pressure";
    case k_sp:
      return "surface pressure";
    case k_orog:
      return "orography or surface geopotential";
    default:
      return std::string("soil ") + (k % 2 ? "temperature" : "moisture") + " layer " +
             std::to_string((k - k_soil_t1) / 2 + 1);
  }
}

namespace {

// The soil fields kept in their slots, or mapped (a slot then names its first source).
void settle_soil_plan(selection& sel, const std::vector<const source_field*>& soil,
                      const std::optional<soil_bounds>& soil_layers, std::ostream& warn) {
  sel.soil = plan_soil(soil, soil_layers);
  sel.unknown_soil = sel.soil.unknown;
  sel.ignored.insert(sel.ignored.end(), sel.soil.ignored.begin(), sel.soil.ignored.end());
  sel.again.insert(sel.again.end(), sel.soil.again.begin(), sel.soil.again.end());
  for (std::size_t slot = 0; slot < sel.soil.direct.size(); ++slot)
    sel.surface[std::size_t(k_soil_t1 - 1) + slot] =
        sel.soil.mapped(slot) ? sel.soil.sources[sel.soil.weights[slot].front().source]
                              : sel.soil.direct[slot];
  if (!sel.soil.note.empty()) warn << program << ": note: " << sel.soil.note << "\n";
}

}  // namespace

selection select(const std::vector<const source_field*>& found, const std::vector<double>& levels,
                 const std::optional<soil_bounds>& soil_layers, std::ostream& warn) {
  selection sel;
  std::vector<const source_field*> soil;
  const by_level_t by_level = sort_by_level(found, sel, soil);
  settle_soil_plan(sel, soil, soil_layers, warn);
  sel.levels = levels.empty() ? common_levels(by_level, warn) : asked_levels(by_level, levels);
  std::sort(sel.levels.begin(), sel.levels.end(), std::greater<>());
  for (std::size_t l = 1; l < sel.levels.size(); ++l)
    if (same_level(sel.levels[l], sel.levels[l - 1]))
      throw run_error("--levels names " + level_text(sel.levels[l]) + " hPa twice");
  sel.upper.resize(n_upper);
  for (std::size_t f = 0; f < n_upper; ++f)
    for (double level : sel.levels)
      sel.upper[f].push_back(
          std::find_if(by_level[f].begin(), by_level[f].end(), [&](const auto& e) {
            return same_level(e.first, level);
          })->second);
  check_surface(sel);
  return sel;
}

void check_one_grid(const selection& sel) {
  const source_field& first = *sel.upper[0][0];
  const auto check = [&](const source_field* s) {
    if (s && !s->grid.same_as(first.grid))
      throw run_error(s->file + ": " + s->origin + " lies on the grid " + s->grid.describe() +
                      ", " + first.file + ": " + first.origin + " on " + first.grid.describe() +
                      "; all fields must share one grid");
  };
  for (const auto& f : sel.upper)
    for (const source_field* s : f) check(s);
  for (const source_field* s : sel.surface) check(s);
}

}  // namespace c2m::prepare

#include "companion/prepare/soil_layers.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/command_line_options.hpp"
#include "common/constants.hpp"
#include "common/errors.hpp"
#include "companion/common/field_codes.hpp"

namespace c2m::prepare {

namespace {

// Depths closer than this (metres) are the same depth: GRIB codes them scaled.
constexpr double same_depth = 1e-6;

std::string metres(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

std::string where(const source_field& s) {
  return s.file + ": " + s.origin;
}

std::string depth_text(const soil_depths& d) {
  return d.node ? metres(d.top) + " m" : metres(d.top) + "-" + metres(d.bottom) + " m";
}

// One quantity's fields, checked and in depth order.
struct column {
  const char* name;  // "soil temperature"
  std::vector<const source_field*> fields;

  double reach() const {  // the deepest depth a layer of it reaches; 0 for nodes only
    double r = 0;
    for (const source_field* s : fields)
      if (!s->soil.node) r = std::max(r, s->soil.bottom);
    return r;
  }
  double depth(std::size_t i) const {  // a node's depth, a layer's mid-depth
    const soil_depths& d = fields[i]->soil;
    return d.node ? d.top : (d.top + d.bottom) / 2;
  }
  // Four layers that follow each other from the surface down, as bounds.
  std::optional<soil_bounds> four_layers() const {
    if (fields.size() != 4) return std::nullopt;
    soil_bounds b{};
    for (std::size_t i = 0; i < 4; ++i) {
      if (fields[i]->soil.node) return std::nullopt;
      b[i] = fields[i]->soil.top;
      b[i + 1] = fields[i]->soil.bottom;
    }
    return b;
  }
  std::string depths() const {
    std::string t;
    for (const source_field* s : fields)
      t +=
          (t.empty() ? "" : ", ") +
          (s->soil.node ? metres(s->soil.top) : metres(s->soil.top) + "-" + metres(s->soil.bottom));
    return t + " m";
  }
};

[[noreturn]] void refuse(const std::string& what) {
  throw run_error(what +
                  "; conv2model-prepare maps soil layers that follow each other from "
                  "the surface down (temperature also at single depths)");
}

// Orders a quantity's fields by depth, sets aside those at depths given before (their
// values are compared with the kept one's once read), and
// refuses depths that cannot be mapped: a layer whose bottom is not below its top,
// layers that overlap, and
// for moisture (which must add up) a single depth, a gap, or a first layer below the
// surface.
column checked(const char* name, std::vector<const source_field*> fields, bool water,
               soil_plan& plan) {
  for (const source_field* s : fields) {
    if (!s->soil.node && !(s->soil.bottom > s->soil.top))
      refuse(std::string(name) + " of " + where(*s) + " lies between the depths " +
             depth_text(s->soil) + ", its bottom not below its top");
    if (water && s->soil.node)
      refuse(std::string(name) + " of " + where(*s) + " is given at the single depth " +
             depth_text(s->soil) + ", not for a layer");
  }
  // In depth order; of fields at the same depths the first given stays first.
  std::stable_sort(fields.begin(), fields.end(), [](const source_field* a, const source_field* b) {
    return a->soil.top != b->soil.top ? a->soil.top < b->soil.top : a->soil.node > b->soil.node;
  });
  for (std::size_t i = 1; i < fields.size(); ++i) {
    const soil_depths& a = fields[i - 1]->soil;
    const soil_depths& b = fields[i]->soil;
    const bool same = std::fabs(a.top - b.top) < same_depth && a.node == b.node &&
                      (a.node || std::fabs(a.bottom - b.bottom) < same_depth);
    // The same depths again: as for every field, the first file (and message) given is
    // kept, and the other must hold the same values.
    if (same) {
      plan.ignored.push_back(fields[i]);
      plan.again.push_back({fields[i - 1], fields[i]});
      fields.erase(fields.begin() + static_cast<std::ptrdiff_t>(i--));
      continue;
    }
    if (!a.node && !b.node && b.top < a.bottom - same_depth)
      refuse(std::string(name) + " layers overlap: " + depth_text(a) + " (" +
             where(*fields[i - 1]) + ") and " + depth_text(b) + " (" + where(*fields[i]) + ")");
    if (water && b.top > a.bottom + same_depth)
      refuse(std::string(name) + " leaves a gap between " + metres(a.bottom) + " and " +
             metres(b.top) + " m (" + where(*fields[i - 1]) + ", " + where(*fields[i]) + ")");
  }
  if (water && !fields.empty() && fields.front()->soil.top > same_depth)
    refuse(std::string(name) + " starts at " + metres(fields.front()->soil.top) +
           " m below ground, not at the surface (" + where(*fields.front()) + ")");
  return {name, std::move(fields)};
}

bool same_bounds(const soil_bounds& a, const soil_bounds& b) {
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::fabs(a[i] - b[i]) >= same_depth) return false;
  return true;
}

std::size_t add_source(soil_plan& plan, const source_field* s) {
  const auto at = std::find(plan.sources.begin(), plan.sources.end(), s);
  if (at != plan.sources.end()) return static_cast<std::size_t>(at - plan.sources.begin());
  plan.sources.push_back(s);
  return plan.sources.size() - 1;
}

// Moisture: each target layer the overlap-weighted mean of the source layers' fractions.
void map_water(const column& c, soil_plan& plan) {
  const soil_bounds& t = plan.target;
  if (c.reach() < t[4] - same_depth)
    refuse("the target layer " + metres(t[3]) + "-" + metres(t[4]) + " m lies deeper than the " +
           c.name + " reaches (" + c.depths() + ")");
  for (std::size_t n = 0; n < 4; ++n)
    for (const source_field* s : c.fields) {
      const double overlap = std::min(s->soil.bottom, t[n + 1]) - std::max(s->soil.top, t[n]);
      if (overlap > 0)
        plan.weights[2 * n + 1].push_back({add_source(plan, s), overlap / (t[n + 1] - t[n])});
    }
}

// Temperature: linear in depth between the nodes bracketing each target layer's
// mid-depth, constant above the first node and below the last.
void map_temperature(const column& c, soil_plan& plan) {
  const soil_bounds& t = plan.target;
  // Layers say how deep they reach; a node says nothing below itself, so beyond the
  // last node the temperature stays.
  const bool nodes_only = std::all_of(c.fields.begin(), c.fields.end(),
                                      [](const source_field* s) { return s->soil.node; });
  if (!nodes_only && std::max(c.reach(), c.depth(c.fields.size() - 1)) < t[4] - same_depth)
    refuse("the target layer " + metres(t[3]) + "-" + metres(t[4]) + " m lies deeper than the " +
           c.name + " reaches (" + c.depths() + ")");
  for (std::size_t n = 0; n < 4; ++n) {
    const double mid = (t[n] + t[n + 1]) / 2;
    std::vector<soil_weight>& w = plan.weights[2 * n];
    const std::size_t last = c.fields.size() - 1;
    if (mid <= c.depth(0)) {
      w.push_back({add_source(plan, c.fields[0]), 1.0});
    } else if (mid >= c.depth(last)) {
      w.push_back({add_source(plan, c.fields[last]), 1.0});
    } else {
      std::size_t i = 1;
      while (c.depth(i) < mid) ++i;
      const double f = (mid - c.depth(i - 1)) / (c.depth(i) - c.depth(i - 1));
      w.push_back({add_source(plan, c.fields[i - 1]), 1.0 - f});
      w.push_back({add_source(plan, c.fields[i]), f});
    }
  }
}

bool is_temperature(const source_field& s) {
  return (s.kind.surface - k_soil_t1) % 2 == 0;
}

}  // namespace

soil_depths depths_of_numbered_layer(const field_kind& kind) {
  const auto d =
      companion::centre_soil_layer(companion::centre_ecmwf, (kind.surface - k_soil_t1) / 2 + 1);
  if (!d) return {0, 0, false, false};
  return {(*d)[0], (*d)[1], false, true};
}

std::string bounds_text(const soil_bounds& b) {
  std::string t;
  for (std::size_t i = 0; i < 4; ++i) t += (i ? ", " : "") + metres(b[i]) + "-" + metres(b[i + 1]);
  return t + " m";
}

soil_bounds soil_layers_of(const std::string& text) {
  soil_bounds b{};
  std::size_t n = 0, from = 0;
  const auto bad = [&](const std::string& why) {
    return usage_error("--soil-layers: \"" + text + "\": " + why +
                       "; give four layers in cm that follow each other from the surface, "
                       "such as 0-7,7-28,28-100,100-289");
  };
  for (;;) {
    const std::size_t comma = text.find(',', from);
    const std::string part = text.substr(from, comma == std::string::npos ? comma : comma - from);
    const std::size_t dash = part.find('-');
    double top = 0, bottom = 0;
    const char* end = part.data() + part.size();
    const auto t = std::from_chars(part.data(), part.data() + std::min(dash, part.size()), top);
    const auto u = dash == std::string::npos
                       ? std::from_chars_result{part.data(), std::errc::invalid_argument}
                       : std::from_chars(part.data() + dash + 1, end, bottom);
    if (t.ec != std::errc() || t.ptr != part.data() + dash || u.ec != std::errc() || u.ptr != end ||
        !std::isfinite(top) || !std::isfinite(bottom))
      throw bad("\"" + part + "\" is not a layer TOP-BOTTOM");
    if (n == 4) throw bad("more than four layers");
    if (std::fabs(top / 100 - b[n]) >= same_depth)
      throw bad(n == 0 ? "the first layer does not start at 0"
                       : "layer " + std::to_string(n + 1) +
                             " does not start where the one "
                             "above it ends");
    if (!(bottom > top)) throw bad("layer " + std::to_string(n + 1) + " is not below its top");
    b[++n] = bottom / 100;
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  if (n != 4) throw bad("conv2model carries four layers");
  return b;
}

soil_plan plan_soil(const std::vector<const source_field*>& soil,
                    const std::optional<soil_bounds>& asked) {
  soil_plan plan;
  std::vector<const source_field*> t, m;
  for (const source_field* s : soil)
    if (!s->soil.known)
      plan.unknown.push_back(s);
    else
      (is_temperature(*s) ? t : m).push_back(s);
  const column temp = checked("soil temperature", t, false, plan);
  const column water = checked("soil moisture", m, true, plan);
  // The target: the layers asked for, else the source's own four, else GFS's.
  if (asked)
    plan.target = *asked;
  else if (const auto own = water.four_layers())
    plan.target = *own;
  else if (const auto own_t = temp.four_layers(); own_t && water.fields.empty())
    plan.target = *own_t;
  std::string said;
  for (const column* c : {&temp, &water}) {
    if (c->fields.empty()) continue;
    const std::size_t first = c == &temp ? 0 : 1;
    if (const auto own = c->four_layers(); own && same_bounds(*own, plan.target)) {
      for (std::size_t n = 0; n < 4; ++n) plan.direct[first + 2 * n] = c->fields[n];
      continue;
    }
    if (c == &temp) {
      map_temperature(*c, plan);
      said += "temperature linear in depth at their mid-depths from " + c->depths() +
              " (constant beyond the first and last)";
    } else {
      map_water(*c, plan);
      said += std::string(said.empty() ? "" : "; ") + "moisture by overlap from the layers " +
              c->depths() + ", the column's water down to " + metres(plan.target[4]) + " m kept";
    }
  }
  if (!said.empty())
    plan.note = "soil mapped onto the layers " + bounds_text(plan.target) + ": " + said;
  return plan;
}

namespace {

// The mapped value of `slot` at point `p`, in double; false where a source that
// contributes has no data.
bool mapped_value(const soil_plan& plan, std::size_t slot, std::span<const float* const> sources,
                  std::size_t p, double& sum) {
  sum = 0;
  bool hole = false;
  for (const soil_weight& w : plan.weights[slot]) {
    const float v = sources[w.source][p];
    hole = hole || v == input_fill;
    sum += w.weight * double(v);
  }
  return !hole;
}

}  // namespace

void map_soil(const soil_plan& plan, std::span<const float* const> sources,
              const std::array<float*, 8>& slots, std::size_t n) {
  for (std::size_t slot = 0; slot < slots.size(); ++slot) {
    if (!plan.mapped(slot)) continue;
    float* out = slots[slot];
    for (std::size_t p = 0; p < n; ++p) {
      double v = 0;
      out[p] = mapped_value(plan, slot, sources, p, v) ? static_cast<float>(v) : input_fill;
    }
  }
}

void map_soil_between(const soil_plan& earlier, std::span<const float* const> earlier_sources,
                      const soil_plan& later, std::span<const float* const> later_sources,
                      std::int64_t after, std::int64_t span, const std::array<float*, 8>& slots,
                      std::size_t n) {
  const double num = static_cast<double>(after), den = static_cast<double>(span);
  for (std::size_t slot = 0; slot < slots.size(); ++slot) {
    if (!earlier.mapped(slot)) continue;
    if (!later.mapped(slot))
      throw run_error("conv2model-prepare: a soil layer mapped at one time only");
    float* out = slots[slot];
    for (std::size_t p = 0; p < n; ++p) {
      double a = 0, b = 0;
      const bool both = mapped_value(earlier, slot, earlier_sources, p, a) &&
                        mapped_value(later, slot, later_sources, p, b);
      out[p] = both ? static_cast<float>(a + (b - a) * num / den) : input_fill;
    }
  }
}

std::optional<std::size_t> differing_soil_slot(const soil_plan& a, const soil_plan& b) {
  const auto same_source = [&](const soil_weight& x, const soil_weight& y) {
    const soil_depths& dx = a.sources[x.source]->soil;
    const soil_depths& dy = b.sources[y.source]->soil;
    return x.weight == y.weight && dx.node == dy.node && std::fabs(dx.top - dy.top) < same_depth &&
           std::fabs(dx.bottom - dy.bottom) < same_depth;
  };
  for (std::size_t slot = 0; slot < a.weights.size(); ++slot) {
    const std::vector<soil_weight>& wa = a.weights[slot];
    const std::vector<soil_weight>& wb = b.weights[slot];
    if (!same_bounds(a.target, b.target) || !a.direct[slot] != !b.direct[slot] ||
        wa.size() != wb.size() || !std::equal(wa.begin(), wa.end(), wb.begin(), same_source))
      return slot;
  }
  return std::nullopt;
}

std::string soil_slot_text(const soil_plan& plan, std::size_t slot) {
  const std::size_t layer = slot / 2;
  const std::string target =
      "the layer " + metres(plan.target[layer]) + "-" + metres(plan.target[layer + 1]) + " m";
  if (plan.direct[slot]) return target + " kept as given";
  if (!plan.mapped(slot)) return target + " absent";
  std::string from;
  for (const soil_weight& w : plan.weights[slot])
    from += (from.empty() ? "" : ", ") + depth_text(plan.sources[w.source]->soil);
  return target + " mapped from " + from;
}

}  // namespace c2m::prepare

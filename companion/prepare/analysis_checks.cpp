#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "companion/prepare/analysis.hpp"
#include "companion/prepare/plausibility.hpp"
#include "companion/prepare/prepare.hpp"
#include "thermo/humidity.hpp"
#include "thermo/module_estab.hpp"

namespace c2m::prepare {

namespace {

// "45 N 10 E" of written point p (0-based, west to east, south to north).
std::string point_text(const window& w, std::size_t p) {
  const auto i = static_cast<std::int64_t>(p % static_cast<std::size_t>(w.im));
  const auto j = static_cast<std::int64_t>(p / static_cast<std::size_t>(w.im));
  const double lat = double(w.kgds.lat_first() + j * w.kgds.dj()) / 1000.0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g %s %g E", std::fabs(lat), lat < 0 ? "S" : "N",
                double(w.kgds.lon_first() + i * w.kgds.di()) / 1000.0);
  return buf;
}

struct holes {
  std::vector<std::string> found;  // one line per field with holes

  void look(const source_field* s, const field_summary& sum, const window& w,
            const std::string& where = "") {
    if (sum.holes == 0) return;
    const std::size_t n = static_cast<std::size_t>(w.im) * static_cast<std::size_t>(w.jm);
    found.push_back(s->file + ": " + s->origin + ": " + field_label(*s) + " has " +
                    std::to_string(sum.holes) + " of " + std::to_string(n) +
                    " points without data" + where + ", the first at " +
                    point_text(w, sum.first_hole));
  }
};

// What conv2model does with points without data, by field.
const char* converter_does(bool soil, bool mask, bool upper) {
  if (soil) return "conv2model fills soil gaps along each row from the nearest soil values";
  if (mask) return "conv2model makes them land";
  if (upper) return "conv2model writes -99999 there into the work file";
  return "conv2model writes 0 there";
}

void report(const holes& h, bool allow, const char* does, std::ostream& warn) {
  if (h.found.empty()) return;
  if (!allow)
    throw run_error(h.found.front() +
                    (h.found.size() > 1
                         ? " (and " + std::to_string(h.found.size() - 1) + " more fields)"
                         : std::string()) +
                    "; refused (--allow-holes accepts them: " + does + ")");
  for (const std::string& line : h.found)
    warn << program << ": warning: " << line << ": kept as no data, " << does << "\n";
}

void check_soil(const placed& p, const selection& sel, const window& w, bool allow,
                std::ostream& warn) {
  std::string absent;
  for (const std::string& s : sel.absent_soil) absent += (absent.empty() ? "" : ", ") + s;
  if (!absent.empty()) {
    std::string unknown;
    for (const source_field* s : sel.unknown_soil)
      unknown += "; not recognised: " + s->file + ": " + s->origin;
    const std::string text = "no " + absent + " in the input" + unknown;
    if (!allow)
      throw run_error(text + "; refused (--allow-holes writes them as no data: " +
                      converter_does(true, false, false) + ", a field without any stays 0)");
    warn << program << ": warning: " << text << ": written as no data\n";
  }
  holes h;
  for (int k = k_soil_t1; k <= nsfcfld; ++k)
    if (const source_field* s = sel.surface[static_cast<std::size_t>(k - 1)])
      h.look(s, p.surface[static_cast<std::size_t>(k - 1)], w, " over land");
  report(h, allow, converter_does(true, false, false), warn);
  // With --grid: land points whose source neighbours are all sea.
  const auto nearest = [&](const source_field* s, const field_summary& sum) {
    if (s && sum.nearest_land > 0)
      warn << program << ": note: " << s->file << ": " << s->origin << ": " << field_label(*s)
           << ": " << sum.nearest_land
           << " land points whose neighbours in the source are all sea took the nearest land "
              "point's value (within two of its grid steps)\n";
  };
  for (int k = k_soil_t1; k <= nsfcfld; ++k)
    nearest(sel.surface[static_cast<std::size_t>(k - 1)],
            p.surface[static_cast<std::size_t>(k - 1)]);
  for (std::size_t i = 0; i < sel.soil.sources.size(); ++i)
    nearest(sel.soil.sources[i], p.soil_sources[i]);
}

}  // namespace

placed::placed(const selection& sel)
    : upper(n_upper, std::vector<field_summary>(sel.levels.size())),
      surface(nsfcfld),
      soil_sources(sel.soil.sources.size()) {}

void settle_soil(grid& surface, const selection& sel, bool allow_implausible, placed& p) {
  const float* mask = surface.level(k_lsm);
  for (int k = k_soil_t1; k <= nsfcfld; ++k) {
    float* soil = surface.level(k);
    if (const source_field* s = sel.surface[static_cast<std::size_t>(k - 1)]) {
      field_summary& sum = p.surface[static_cast<std::size_t>(k - 1)];
      const std::size_t nearest = sum.nearest_land;
      sum = summarize({soil, surface.level_size()}, field_index(s->kind), allow_implausible, mask);
      sum.nearest_land = nearest;
    }
    for (std::size_t i = 0; i < surface.level_size(); ++i)
      if (mask[i] == 0.0f) soil[i] = input_fill;
  }
}

void check_holes(const placed& p, const selection& sel, const window& w, bool allow,
                 std::ostream& warn) {
  holes upper;
  for (std::size_t f = 0; f < n_upper; ++f)
    for (std::size_t l = 0; l < sel.levels.size(); ++l)
      upper.look(sel.upper[f][l], p.upper[f][l], w);
  report(upper, allow, converter_does(false, false, true), warn);
  holes mask, surface;
  mask.look(sel.surface[k_lsm - 1], p.surface[k_lsm - 1], w);
  report(mask, allow, converter_does(false, true, false), warn);
  for (int k = k_msl; k <= k_orog; ++k)
    surface.look(sel.surface[static_cast<std::size_t>(k - 1)],
                 p.surface[static_cast<std::size_t>(k - 1)], w);
  report(surface, allow, converter_does(false, false, false), warn);
  check_soil(p, sel, w, allow, warn);
}

void check_values(const placed& p, const selection& sel, const window& w) {
  for (std::size_t f = 0; f < n_upper; ++f)
    for (std::size_t l = 0; l < sel.levels.size(); ++l)
      check_plausible(p.upper[f][l], *sel.upper[f][l], w);
  for (std::size_t k = 1; k <= nsfcfld; ++k)
    if (const source_field* s = sel.surface[k - 1]) check_plausible(p.surface[k - 1], *s, w);
  for (std::size_t i = 0; i < sel.soil.sources.size(); ++i)
    check_plausible(p.soil_sources[i], *sel.soil.sources[i], w);
}

double derive_relative_humidity(grid& rh, const grid& t, const selection& sel) {
  double largest = 0;
  bool first = true;
  for (std::size_t l = 0; l < sel.levels.size(); ++l) {
    if (!sel.upper[static_cast<std::size_t>(upper_field::hur)][l]->kind.from_specific_humidity)
      continue;
    if (first) estab::es_ini();
    first = false;
    const auto level = static_cast<std::int32_t>(l + 1);
    const float p = static_cast<float>(sel.levels[l]);
    // The converter's factor q / rh at every point: its conversion of rh = 1.
    grid t_level = make_grid(t.im, t.jm, 1);
    std::copy_n(t.level(level), t.level_size(), t_level.data);
    grid ones = make_grid(t.im, t.jm, 1);
    std::fill(ones.all().begin(), ones.all().end(), 1.0f);
    const grid factor = rh_to_q(t_level, std::span<const float>(&p, 1), std::move(ones));
    float* v = rh.level(level);
    grid back = make_grid(t.im, t.jm, 1);
    for (std::size_t i = 0; i < t.level_size(); ++i)
      back.data[i] = v[i] == input_fill || t.level(level)[i] == input_fill ? input_fill
                                                                           : v[i] / factor.data[i];
    const std::vector<float> q(v, v + t.level_size());
    std::copy_n(back.data, t.level_size(), v);
    // Converted back as conv2model will: the largest relative difference from q.
    const grid q_back = rh_to_q(t_level, std::span<const float>(&p, 1), std::move(back));
    for (std::size_t i = 0; i < q.size(); ++i)
      if (q[i] != input_fill && q[i] != 0.0f && std::isfinite(q_back.data[i]))
        largest = std::max(largest, std::fabs(double(q_back.data[i]) - q[i]) / std::fabs(q[i]));
  }
  return largest;
}

namespace {

std::size_t levels_from_q(const selection& sel) {
  const std::vector<const source_field*>& rh =
      sel.upper[static_cast<std::size_t>(upper_field::hur)];
  return static_cast<std::size_t>(std::count_if(
      rh.begin(), rh.end(), [](const source_field* s) { return s->kind.from_specific_humidity; }));
}

}  // namespace

bool derives_humidity(const selection& sel) {
  return levels_from_q(sel) > 0;
}

void note_derived_humidity(const selection& sel, double largest, std::ostream& warn) {
  const std::size_t derived = levels_from_q(sel);
  if (derived > 0)
    warn << program << ": note: relative humidity derived from specific humidity (q) on " << derived
         << " level" << (derived == 1 ? "" : "s")
         << " by inverting conv2model's own conversion; converted back it differs from q by "
            "at most "
         << largest << " (relative)\n";
}

}  // namespace c2m::prepare

#include "companion/prepare/prepare.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "common/field_file.hpp"
#include "common/grid.hpp"
#include "common/grid_config_file.hpp"
#include "companion/common/staged_output.hpp"
#include "companion/prepare/grib_source.hpp"
#include "companion/prepare/netcdf_source.hpp"
#include "companion/prepare/plausibility.hpp"

namespace c2m::prepare {

namespace {

const std::string config_name(grid_config_file::name);

// NetCDF (classic, 64-bit offset, CDF-5, or HDF5-based NetCDF-4) by its first bytes;
// anything else is handed to the GRIB reader, which finds GRIB messages after any header.
bool is_netcdf(const std::string& path) {
  struct closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  const std::unique_ptr<std::FILE, closer> f(std::fopen(path.c_str(), "rb"));
  if (!f) throw run_error(os_error(path, "cannot open input file"));
  unsigned char head[8] = {};
  const std::size_t got = std::fread(head, 1, sizeof head, f.get());
  if (got < sizeof head && std::ferror(f.get()))
    throw run_error(os_error(path, "cannot read input file"));
  if (got >= 4 && std::memcmp(head, "CDF", 3) == 0 &&
      (head[3] == 1 || head[3] == 2 || head[3] == 5))
    return true;
  return got == 8 && std::memcmp(head, "\x89HDF\r\n\x1a\n", 8) == 0;
}

std::string level_text(double hpa) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", hpa);
  return buf;
}

bool same_level(double a, double b) {
  return std::fabs(a - b) <= 1e-6 * std::max(a, b);
}

const char* upper_title(upper_field f) {
  switch (f) {
    case upper_field::uw:
      return "zonal wind";
    case upper_field::vw:
      return "meridional wind";
    case upper_field::ht:
      return "geopotential height";
    case upper_field::rh:
      return "relative humidity";
    case upper_field::tp:
      return "temperature";
  }
  return "";
}

std::string field_label(const source_field& s) {
  if (s.kind.surface) return std::string(surface_name(s.kind.surface));
  return std::string(upper_name(s.kind.upper)) + " " + level_text(s.level_hpa) + " hPa";
}

// What was chosen from the files: one source per upper-air field and level, one per
// surface field.
struct selection {
  std::vector<double> levels;                           // hPa, bottom first
  std::vector<std::vector<const source_field*>> upper;  // [field][level]
  std::vector<const source_field*> surface;             // [k - 1], null if absent
  std::vector<const source_field*> ignored;             // found again in a later place
};

using by_level_t = std::array<std::map<double, const source_field*>, n_upper>;

std::string upper_text(std::size_t f) {
  const auto u = static_cast<upper_field>(f);
  return std::string(upper_title(u)) + " (" + std::string(upper_name(u)) + ")";
}

bool has_level(const by_level_t& by_level, std::size_t f, double level) {
  return std::any_of(by_level[f].begin(), by_level[f].end(),
                     [&](const auto& e) { return same_level(e.first, level); });
}

// The first source of each upper-air field and level and of each surface field; later
// ones are ignored.
by_level_t sort_by_level(const std::vector<source_field>& found, selection& sel) {
  by_level_t by_level;
  sel.surface.assign(nsfcfld, nullptr);
  for (const source_field& s : found) {
    if (s.kind.surface) {
      const source_field*& slot = sel.surface[static_cast<std::size_t>(s.kind.surface - 1)];
      (slot ? sel.ignored.push_back(&s) : void(slot = &s));
      continue;
    }
    auto& m = by_level[static_cast<std::size_t>(s.kind.upper)];
    if (has_level(by_level, static_cast<std::size_t>(s.kind.upper), s.level_hpa))
      sel.ignored.push_back(&s);
    else
      m.emplace(s.level_hpa, &s);
  }
  for (std::size_t f = 0; f < n_upper; ++f)
    if (by_level[f].empty())
      throw run_error("no " + upper_text(f) + " on pressure levels in the input");
  return by_level;
}

// The levels every upper-air field has; a note for each level left out.
std::vector<double> common_levels(const by_level_t& by_level, std::ostream& warn) {
  std::vector<double> levels;
  std::map<double, std::string> left_out;
  for (const auto& [level, s] : by_level[0]) {
    (void)s;
    std::string lacking;
    for (std::size_t f = 1; f < n_upper; ++f)
      if (!has_level(by_level, f, level))
        lacking +=
            (lacking.empty() ? "" : ", ") + std::string(upper_name(static_cast<upper_field>(f)));
    if (lacking.empty())
      levels.push_back(level);
    else
      left_out[level] = lacking;
  }
  for (std::size_t f = 1; f < n_upper; ++f)
    for (const auto& [level, s] : by_level[f])
      if (!has_level(by_level, 0, level))
        left_out[level] += std::string(left_out[level].empty() ? "" : ", ") + "u";
  for (const auto& [level, lacking] : left_out)
    warn << program << ": note: " << level_text(level) << " hPa left out: no " << lacking
         << " there\n";
  if (levels.empty()) throw run_error("no pressure level holds all five upper-air fields");
  return levels;
}

// The levels asked for, each present for every field.
std::vector<double> asked_levels(const by_level_t& by_level, const std::vector<double>& asked) {
  for (double level : asked)
    for (std::size_t f = 0; f < n_upper; ++f)
      if (!has_level(by_level, f, level))
        throw run_error("no " + upper_text(f) + " at " + level_text(level) + " hPa in the input");
  return asked;
}

void check_surface(const selection& sel, std::ostream& warn) {
  for (int k = k_lsm; k <= k_orog; ++k)
    if (!sel.surface[static_cast<std::size_t>(k - 1)])
      throw run_error("no " + std::string(surface_name(k)) + " (" +
                      (k == k_lsm   ? "land-sea mask"
                       : k == k_msl ? "mean-sea-level pressure"
                       : k == k_sp  ? "surface pressure"
                                    : "orography or surface geopotential") +
                      ") in the input");
  for (int k = k_soil_t1; k <= nsfcfld; ++k)
    if (!sel.surface[static_cast<std::size_t>(k - 1)])
      warn << program << ": warning: no soil " << (k % 2 ? "temperature" : "moisture") << " layer "
           << (k - k_soil_t1) / 2 + 1 << " (" << surface_name(k)
           << ") in the input: written as no data\n";
}

selection select(const std::vector<source_field>& found, const options& opt, std::ostream& warn) {
  selection sel;
  const by_level_t by_level = sort_by_level(found, sel);
  sel.levels =
      opt.levels.empty() ? common_levels(by_level, warn) : asked_levels(by_level, opt.levels);
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
  check_surface(sel, warn);
  return sel;
}

// Every field chosen lies on one grid and is valid at one time.
void check_one_grid_one_time(const selection& sel, const source_field& first) {
  const auto check = [&](const source_field* s) {
    if (!s) return;
    if (!s->grid.same_as(first.grid))
      throw run_error(s->file + ": " + s->origin + " lies on the grid " + s->grid.describe() +
                      ", " + first.file + ": " + first.origin + " on " + first.grid.describe() +
                      "; all fields must share one grid");
    if (!s->valid_time.empty() && !first.valid_time.empty() && s->valid_time != first.valid_time)
      throw run_error(s->file + ": " + s->origin + " is valid at " + s->valid_time + ", " +
                      first.file + ": " + first.origin + " at " + first.valid_time +
                      "; one analysis (one time) is prepared at a time");
  };
  for (const auto& f : sel.upper)
    for (const source_field* s : f) check(s);
  for (const source_field* s : sel.surface) check(s);
}

void print_inventory(const selection& sel, const window& w, const source_field& first,
                     std::ostream& out) {
  const auto line = [&](const source_field* s, const std::string& label) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%-14s", label.c_str());
    out << buf << (s ? s->file + ": " + s->origin : std::string("missing: written as no data"))
        << "\n";
  };
  out << "grid: " << first.grid.describe() << "\n";
  out << "written: " << w.im << " x " << w.jm << " points, latitudes " << w.kgds.lat_first()
      << " to " << w.kgds.lat_last() << ", longitudes " << w.kgds.lon_first() << " to "
      << w.kgds.lon_last() << " (millidegrees), steps " << w.kgds.di() << " x " << w.kgds.dj()
      << "\n";
  out << "valid at: " << (first.valid_time.empty() ? "unknown" : first.valid_time) << "\n";
  out << "levels: " << sel.levels.size() << " (hPa, bottom first):";
  for (double l : sel.levels) out << " " << level_text(l);
  out << "\n";
  for (std::size_t f = 0; f < n_upper; ++f)
    for (const source_field* s : sel.upper[f]) line(s, field_label(*s));
  for (int k = 1; k <= nsfcfld; ++k)
    line(sel.surface[static_cast<std::size_t>(k - 1)], std::string(surface_name(k)));
  for (const source_field* s : sel.ignored)
    out << "ignored, found before: " << field_label(*s) << " in " << s->file << ": " << s->origin
        << "\n";
}

// The values of every chosen field, in the layout of the input field file.
struct analysis {
  grid upper[n_upper];
  grid slp;
};

// Every value placed: plausible for its field, or allowed; never NaN or infinite.
void check_values(const analysis& a, const selection& sel, const window& w, const options& opt) {
  const auto check = [&](const grid& g, std::size_t level, const source_field& s) {
    check_plausible({g.level(static_cast<std::int32_t>(level)), g.level_size()}, s, w,
                    opt.allow_implausible);
  };
  for (std::size_t f = 0; f < n_upper; ++f)
    for (std::size_t l = 0; l < sel.levels.size(); ++l) check(a.upper[f], l + 1, *sel.upper[f][l]);
  for (std::size_t k = 1; k <= nsfcfld; ++k)
    if (const source_field* s = sel.surface[k - 1]) check(a.slp, k, *s);
}

analysis load(const selection& sel, const window& w) {
  const auto lm = static_cast<std::int32_t>(sel.levels.size());
  analysis a;
  for (grid& g : a.upper) g = make_grid(w.im, w.jm, lm);
  a.slp = make_grid(w.im, w.jm, nsfcfld);
  std::fill(a.slp.all().begin(), a.slp.all().end(), input_fill);

  // GRIB files are read in one pass each, their messages in file order.
  std::map<std::string, std::vector<grib_load>> grib;
  const auto want = [&](const source_field* s, float* out) {
    if (s->variable.empty())
      grib[s->file].push_back({s, &w, out});
    else
      netcdf_read(*s, w, out);
  };
  for (std::size_t f = 0; f < n_upper; ++f)
    for (std::size_t l = 0; l < sel.levels.size(); ++l)
      want(sel.upper[f][l], a.upper[f].level(static_cast<std::int32_t>(l + 1)));
  for (int k = 1; k <= nsfcfld; ++k)
    if (const source_field* s = sel.surface[static_cast<std::size_t>(k - 1)])
      want(s, a.slp.level(k));
  for (auto& [path, loads] : grib) {
    std::sort(loads.begin(), loads.end(), [](const grib_load& x, const grib_load& y) {
      return x.field->message < y.field->message;
    });
    grib_read(path, loads);
  }

  // Soil over sea holds no data; the mask has been made 0/1 already.
  const float* mask = a.slp.level(k_lsm);
  for (int k = k_soil_t1; k <= nsfcfld; ++k) {
    float* soil = a.slp.level(k);
    for (std::size_t p = 0; p < a.slp.level_size(); ++p)
      if (mask[p] == 0.0f) soil[p] = input_fill;
  }
  return a;
}

// Both write to `temp`; diagnostics name the file the user asked for, `path`.
void write_field_file(const std::string& temp, const std::string& path, const analysis& a,
                      const selection& sel) {
  const std::vector<float> pr(sel.levels.begin(), sel.levels.end());
  field_file::write(
      temp, path,
      {static_cast<std::int32_t>(sel.levels.size()), a.upper[0].all(), a.upper[1].all(),
       a.upper[2].all(), a.upper[3].all(), a.upper[4].all(), pr, a.slp.all()});
}

void write_config(const std::string& temp, const std::string& path, const window& w,
                  const selection& sel, const std::string& title) {
  grid_config_file::write(
      temp, path,
      {title, w.im, w.jm, static_cast<std::int32_t>(sel.levels.size()), w.kgds, sel.levels},
      grid_config_file::style::plain);
}

}  // namespace

void prepare(const options& opt, std::ostream& out, std::ostream& warn) {
  std::vector<source_field> found;
  for (const std::string& path : opt.files) {
    std::vector<source_field> more =
        is_netcdf(path) ? netcdf_inventory(path) : grib_inventory(path);
    if (more.empty()) throw run_error(path + ": holds none of the fields conv2model needs");
    for (source_field& s : more) found.push_back(std::move(s));
  }
  const selection sel = select(found, opt, warn);
  const source_field& first = *sel.upper[0][0];
  check_one_grid_one_time(sel, first);
  const window w = make_window(first.grid, opt.cut, first.file);
  if (opt.inventory) {
    print_inventory(sel, w, first, out);
    return;
  }

  const analysis a = load(sel, w);
  check_values(a, sel, w, opt);
  c2m::inspect::staged_output data(opt.output);
  c2m::inspect::staged_output config(config_name);
  write_field_file(data.temp_path(), opt.output, a, sel);
  const std::string title = first.valid_time.empty() ? "analysis" : first.valid_time;
  write_config(config.temp_path(), config_name, w, sel, title);
  data.commit();
  config.commit();
  out << "wrote " << opt.output << " and " << config_name << ": " << w.im << " x " << w.jm
      << " points, " << sel.levels.size() << " levels from " << level_text(sel.levels.front())
      << " to " << level_text(sel.levels.back()) << " hPa, valid at "
      << (first.valid_time.empty() ? "an unknown time" : first.valid_time) << "\n";
}

}  // namespace c2m::prepare

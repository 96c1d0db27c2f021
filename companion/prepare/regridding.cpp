#include "companion/prepare/regridding.hpp"

#include <eccodes.h>

#include <cmath>
#include <limits>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "companion/prepare/grib_reader.hpp"
#include "companion/regrid/grib_grid.hpp"

namespace c2m::prepare {

namespace {

// Marks a target point without data in the values carried; no field comes near it.
constexpr double carried_missing = 9.999e20;

// The source grid of a NetCDF field: its rows as stored.
regrid::source_grid netcdf_grid(const source_field& f) {
  const latlon_grid& g = f.grid;
  if (g.j_consecutive)
    throw run_error(f.file + ": " + f.origin +
                    " is stored column by column, which --grid does not read; reorder it "
                    "first with NCO: ncpdq -a lat,lon in.nc out.nc");
  std::vector<regrid::grid_row> rows(static_cast<std::size_t>(g.nj));
  const std::int64_t count = g.columns();
  for (std::int64_t j = 0; j < g.nj; ++j)
    rows[std::size_t(j)] = {g.lat_first + (g.j_positive ? 1.0 : -1.0) * double(j) * g.dj,
                            g.lon_first,
                            g.i_negative ? -g.di : g.di,
                            count,
                            std::size_t(j * g.ni),
                            g.global_in_longitude()};
  return regrid::source_grid::rows("a regular latitude/longitude grid of " + g.describe(),
                                   std::move(rows), false);
}

// The source grid of a GRIB field, from its message: the inventory located the same
// bytes in a decoding process first.
regrid::source_grid grib_source_grid(const source_field& f) {
  const grib_file file(f.file);
  if (f.message < 0 || std::size_t(f.message) >= file.fields().size())
    throw run_error(f.file + ": the file has changed since its inventory (no message " +
                    std::to_string(f.message + 1) + " now)");
  const std::vector<unsigned char> bytes = file.message(std::size_t(f.message));
  codes_handle* h = codes_handle_new_from_message(nullptr, bytes.data(), bytes.size());
  if (h == nullptr) throw run_error(file.where(std::size_t(f.message)) + ": cannot be decoded");
  try {
    regrid::source_grid g = regrid::grib_grid(h, f.file + ": " + f.origin);
    codes_handle_delete(h);
    return g;
  } catch (...) {
    codes_handle_delete(h);
    throw;
  }
}

std::string identity(const source_field& f) {
  if (!f.grid_id.empty()) return f.grid_id;
  const latlon_grid& g = f.grid;
  return "netcdf " + g.describe() + (g.i_negative ? " i-" : " i+") + (g.j_positive ? "j+" : "j-");
}

// A value as float for the interpolation: no data as NaN, which no weight takes; a NaN
// the field holds as a value as an infinity, which every point it reaches keeps, so
// that the plausibility check refuses it as it would unregridded.
float as_float(double x, double missing) {
  if (x == missing) return std::numeric_limits<float>::quiet_NaN();
  if (std::isnan(x) || std::fabs(x) > std::numeric_limits<float>::max())
    return x < 0 ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
  return static_cast<float>(x);
}

}  // namespace

regridding::regridding(regrid::spacing s, const std::optional<area>& over)
    : spacing_(s), over_(over) {}

void regridding::add(const source_field& f) {
  const std::string id = identity(f);
  if (sources_.count(id)) return;
  source s;
  s.grid = std::make_unique<regrid::source_grid>(f.variable.empty() ? grib_source_grid(f)
                                                                    : netcdf_grid(f));
  if (!target_) {
    if (over_) {
      target_ =
          regrid::target_over(spacing_, {over_->north, over_->west, over_->south, over_->east});
    } else {
      target_ = regrid::largest_inside(spacing_, *s.grid);
    }
  }
  s.weights = std::make_unique<regrid::weights>(*s.grid, *target_);
  sources_.emplace(id, std::move(s));
}

const regridding::source& regridding::of(const source_field& f) const {
  const auto it = sources_.find(identity(f));
  if (it == sources_.end())
    throw run_error(f.file + ": " + f.origin + ": its grid was not located before reading");
  return it->second;
}

const std::string& regridding::grid_name(const source_field& f) const {
  return of(f).grid->name();
}

window regridding::window_for(const selection& sel, std::ostream& warn) {
  const bool first = !target_;
  const source_field& lead = *sel.upper[0][0];
  add(lead);
  if (first && !over_)
    warn << "conv2model-prepare: --grid without --area: the largest grid inside "
         << of(lead).grid->name() << ": " << target_->describe() << "\n";
  for (const auto& field : sel.upper)
    for (const source_field* s : field) add(*s);
  for (const source_field* s : sel.surface)
    if (s) add(*s);
  for (const source_field* s : sel.soil.sources) add(*s);
  for (std::size_t l = 0; l < sel.levels.size(); ++l) {
    const source_field &u = *sel.upper[0][l], &v = *sel.upper[1][l];
    if (u.winds_along_grid != v.winds_along_grid || identity(u) != identity(v))
      throw run_error(u.file + ": " + u.origin + " and " + v.file + ": " + v.origin +
                      ": u and v of one level must lie on one grid, both along its axes or "
                      "both towards east and north, to be turned together");
    if (u.winds_along_grid && !of(u).grid->turns_winds())
      throw run_error(u.file + ": " + u.origin +
                      " is a wind component along the grid's own axes (uvRelativeToGrid=1) on " +
                      of(u).grid->name() +
                      ", whose axes are east and north: regridded from another grid without "
                      "being turned; give the original grid's winds instead");
  }
  const regrid::target_grid& t = *target_;
  latlon_grid g;
  g.ni = t.nlon;
  g.nj = t.nlat;
  g.lat_first = t.south;
  g.lon_first = t.west;
  g.di = t.dlon;
  g.dj = t.dlat;
  g.j_positive = true;
  window w = make_window(g, std::nullopt, "--grid");
  w.regridded = this;
  return w;
}

read_values regridding::carry(const source_field& f, read_values v, const source_field* land,
                              const reader& read, std::vector<double>& out,
                              std::size_t& nearest) const {
  const source& s = of(f);
  const std::size_t m = target_->points();
  const auto floats = [&](const source_field& g, read_values r, float divisor) {
    const regrid::source_grid& on = *of(g).grid;
    const std::size_t n = on.points();
    if (r.values.size() != n)
      throw run_error(g.file + ": " + g.origin + ": " + std::to_string(r.values.size()) +
                      " values for " + on.name());
    std::vector<float> in(n);
    for (std::size_t p = 0; p < n; ++p) in[p] = as_float(r.values[p], r.missing) / divisor;
    return in;
  };
  const std::vector<float> in = floats(f, v, 1.0f);
  std::vector<float> to(m);
  nearest = 0;
  if (land) {
    const source& ls = of(*land);
    const std::vector<float> mask =
        floats(*land, read(*land), static_cast<float>(land->kind.divisor));
    std::vector<float> target_land(m);
    ls.weights->interpolate_mask(mask.data(), target_land.data());
    // The mask's own points tell land from sea where it shares the field's grid; on
    // another grid, a soil field's points over sea hold no data in the files read.
    const float* source_land = identity(*land) == identity(f) ? mask.data() : nullptr;
    nearest = s.weights
                  ->interpolate_soil(in.data(), source_land, target_land.data(),
                                     2 * s.grid->step_km(), to.data())
                  .nearest;
  } else {
    s.weights->interpolate(in.data(), to.data());
  }
  out.resize(m);
  for (std::size_t p = 0; p < m; ++p) out[p] = std::isnan(to[p]) ? carried_missing : double(to[p]);
  return {out, carried_missing};
}

void regridding::turn_winds(const source_field& u, float* uw, float* vw) const {
  if (!u.winds_along_grid) return;
  const std::size_t m = target_->points();
  std::vector<std::size_t> gaps;
  for (std::size_t p = 0; p < m; ++p)
    if (uw[p] == input_fill || vw[p] == input_fill) gaps.push_back(p);
  of(u).weights->turn_winds(uw, vw);
  // A component without data leaves the other unturnable: neither has data there.
  for (const std::size_t p : gaps) uw[p] = vw[p] = input_fill;
}

}  // namespace c2m::prepare

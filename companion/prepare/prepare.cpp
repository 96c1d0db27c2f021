#include "companion/prepare/prepare.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "common/grid.hpp"
#include "common/grid_config_file.hpp"
#include "common/work_layout.hpp"
#include "companion/common/staged_output.hpp"
#include "companion/common/temporaries.hpp"
#include "companion/prepare/found_again.hpp"
#include "companion/prepare/grib_source.hpp"
#include "companion/prepare/inventory_slot.hpp"
#include "companion/prepare/kept_fields.hpp"
#include "companion/prepare/netcdf_source.hpp"
#include "companion/prepare/outputs.hpp"
#include "companion/prepare/regridding.hpp"
#include "companion/prepare/selection.hpp"
#include "companion/prepare/series.hpp"
#include "companion/prepare/time_file.hpp"
#include "companion/prepare/time_interpolation.hpp"
#include "companion/prepare/valid_time.hpp"

namespace c2m::prepare {

namespace {

const std::string config_name(grid_config_file::name);

// NetCDF (classic, 64-bit offset, CDF-5, or HDF5-based NetCDF-4) by its first bytes;
// anything else is handed to the GRIB reader.
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

void print_inventory(const selection& sel, const window& w, const std::string& valid,
                     std::ostream& out) {
  const source_field& first = *sel.upper[0][0];
  const auto line = [&](const source_field* s, const std::string& label,
                        const std::string& more = "") {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%-14s", label.c_str());
    out << buf << (s ? s->file + ": " + s->origin : std::string("missing")) << more << "\n";
  };
  if (w.regridded)
    out << "grid: " << w.regridded->grid_name(first) << ", interpolated (--grid)\n";
  else
    out << "grid: " << first.grid.describe() << "\n";
  out << "written: " << w.im << " x " << w.jm << " points, latitudes " << w.kgds.lat_first()
      << " to " << w.kgds.lat_last() << ", longitudes " << w.kgds.lon_first() << " to "
      << w.kgds.lon_last() << " (millidegrees), steps " << w.kgds.di() << " x " << w.kgds.dj()
      << "\n";
  out << "valid at: " << (valid.empty() ? "unknown" : valid) << "\n";
  out << "levels: " << sel.levels.size() << " (hPa, bottom first):";
  for (double l : sel.levels) out << " " << level_text(l);
  out << "\n";
  for (std::size_t f = 0; f < n_upper; ++f)
    for (const source_field* s : sel.upper[f]) line(s, field_label(*s));
  for (int k = 1; k <= nsfcfld; ++k) {
    const std::size_t slot = static_cast<std::size_t>(k - k_soil_t1);
    if (k < k_soil_t1 || !sel.soil.mapped(slot)) {
      line(sel.surface[static_cast<std::size_t>(k - 1)], std::string(surface_name(k)));
      continue;
    }
    // A mapped soil slot: every source layer it is made from, with its weight.
    std::string label(surface_name(k));
    for (const soil_weight& w : sel.soil.weights[slot]) {
      char weight[32];
      std::snprintf(weight, sizeof weight, ", weight %g", w.weight);
      line(sel.soil.sources[w.source], label, weight);
      label = "  and";
    }
  }
  for (const source_field* s : sel.ignored)
    out << "ignored, found before: " << field_label(*s) << " valid at "
        << (s->valid_time.empty() ? "no time" : s->valid_time) << " in " << s->file << ": "
        << s->origin << "\n";
  for (const source_field* s : sel.unknown_soil)
    out << "ignored, a soil layer of another layering: " << s->file << ": " << s->origin << "\n";
}

void write_config(const std::string& temp, const std::string& path, const window& w,
                  const selection& sel, const std::string& title) {
  grid_config_file::write(
      temp, path,
      {title, w.im, w.jm, static_cast<std::int32_t>(sel.levels.size()), w.kgds, sel.levels},
      grid_config_file::style::plain);
}

// " (it holds: message 1 (...), ...)": what a file holds instead, the first few.
std::string unused_text(const std::vector<source_field>& found) {
  constexpr std::size_t shown = 5;
  std::string text;
  for (std::size_t k = 0; k < found.size() && k < shown; ++k)
    text += (k ? ", " : " (it holds: ") + found[k].origin;
  if (found.size() > shown) text += " and " + std::to_string(found.size() - shown) + " more";
  return text.empty() ? text : text + ")";
}

void print_unused(const std::vector<source_field>& found, std::ostream& out) {
  for (const source_field& s : found)
    if (!s.used)
      out << "not used: " << s.file << ": " << s.origin
          << (s.valid_time.empty() ? "" : " valid at " + s.valid_time) << "\n";
}

// Room for a NetCDF file's inventory: some forty thousand fields (a month of hourly
// fields on 37 levels).
constexpr std::size_t netcdf_inventory_bytes = std::size_t{16} << 20;

// A NetCDF file's inventory, read in a worker process: the netCDF library (and HDF5
// beneath it) can crash on a damaged file, and a crash inside a library we call is ours
// to contain, as a GRIB message's is.
std::vector<source_field> netcdf_inventory_apart(const std::string& path,
                                                 const decode_limits& limits) {
  std::vector<source_field> found;
  run_in_workers(
      1, netcdf_inventory_bytes, {1, limits.seconds},
      [&](std::size_t, std::span<unsigned char> slot) {
        return put_fields(netcdf_inventory(path), slot);
      },
      [&](std::size_t, std::span<const unsigned char> r) { found = take_fields(r, path); },
      [&](std::size_t) { return path + ": its NetCDF header and variables"; });
  return found;
}

std::vector<source_field> inventory(const std::vector<std::string>& files,
                                    const decode_limits& limits, bool any_grid) {
  std::vector<source_field> found;
  for (const std::string& path : files) {
    std::vector<source_field> more = is_netcdf(path) ? netcdf_inventory_apart(path, limits)
                                                     : grib_inventory(path, limits, any_grid);
    if (std::none_of(more.begin(), more.end(), [](const source_field& s) { return s.used; }))
      throw run_error(path + ": holds none of the fields conv2model needs" + unused_text(more));
    for (source_field& s : more) found.push_back(std::move(s));
  }
  return found;
}

// " (2011-01-15T18:00Z has only 1 field: FILE: message 5 (...))" for the times that hold
// far fewer fields than the fullest: a damaged time stamp, most likely.
std::string few_fields_text(const std::vector<time_group>& groups) {
  std::size_t most = 0;
  for (const time_group& g : groups) most = std::max(most, g.fields.size() - g.invariant);
  std::string text;
  for (const time_group& g : groups) {
    const std::size_t own = g.fields.size() - g.invariant;
    if (own * 4 > most) continue;
    text += (text.empty() ? " (" : "; ") + (g.valid.empty() ? std::string("no time") : g.valid) +
            " has only " + std::to_string(own) + " field" + (own == 1 ? "" : "s") + ":";
    for (std::size_t k = 0; k < own && k < 3; ++k)
      text += (k ? ", " : " ") + g.fields[k]->file + ": " + g.fields[k]->origin;
    if (own > 3) text += " and " + std::to_string(own - 3) + " more";
  }
  return text.empty() ? text : text + ")";
}

// The valid times to prepare: the one asked for, the only one, or all with --each-time.
std::vector<const time_group*> chosen_times(const std::vector<time_group>& groups,
                                            const options& opt) {
  if (opt.time) return {&group_at(groups, *opt.time)};
  std::vector<const time_group*> all;
  for (const time_group& g : groups) all.push_back(&g);
  if (all.size() == 1 || opt.each_time || opt.inventory) return all;
  throw run_error("the files hold " + std::to_string(groups.size()) + " valid times, " +
                  times_text(groups) + few_fields_text(groups) +
                  "; choose one with --time T, or prepare each with --each-time and a name "
                  "pattern such as -o gfs_%Y%m%d%H.bin");
}

// One valid time made ready: what was chosen and the window written.
struct prepared {
  const time_group* time;
  selection sel;
  window w;
};

// Every time of a series on one grid with one set of levels, as one InputModelInf.txt
// describes them.
void check_series(const std::vector<prepared>& runs) {
  for (const prepared& r : runs) {
    const prepared& first = runs.front();
    if (!r.w.regridded && !r.sel.upper[0][0]->grid.same_as(first.sel.upper[0][0]->grid))
      throw run_error("the fields valid at " + r.time->valid + " lie on the grid " +
                      r.sel.upper[0][0]->grid.describe() + ", those valid at " + first.time->valid +
                      " on " + first.sel.upper[0][0]->grid.describe() +
                      "; one grid configuration serves a series on one grid only");
    if (r.sel.levels != first.sel.levels)
      throw run_error("the fields valid at " + r.time->valid + " have " +
                      std::to_string(r.sel.levels.size()) + " common pressure levels, those at " +
                      first.time->valid + " " + std::to_string(first.sel.levels.size()) +
                      "; choose levels all times have with --levels");
  }
}

std::vector<prepared> prepare_times(const std::vector<const time_group*>& times, const options& opt,
                                    regridding* onto, std::ostream& warn) {
  std::vector<prepared> runs;
  std::ostream quiet(nullptr);  // the notes of the first time stand for all
  for (const time_group* t : times) {
    selection sel;
    try {
      sel = select(t->fields, opt.levels, opt.soil_layers, runs.empty() ? warn : quiet);
    } catch (const run_error& e) {
      if (times.size() == 1) throw;
      throw run_error("valid at " + t->valid + ": " + e.what());
    }
    window w;
    if (onto) {
      w = onto->window_for(sel, runs.empty() ? warn : quiet);
    } else {
      check_one_grid(sel);
      const source_field& first = *sel.upper[0][0];
      w = make_window(first.grid, opt.cut, first.file);
    }
    runs.push_back({t, std::move(sel), std::move(w)});
  }
  check_series(runs);
  return runs;
}

std::vector<std::string> held_times(const std::vector<prepared>& runs) {
  std::vector<std::string> held;
  for (const prepared& r : runs) held.push_back(r.time->valid);
  return held;
}

// The times written: each time prepared, or with --interval the series from the first
// to the last, each pair of held times with a time between them checked to interpolate.
std::vector<series_time> series_of(const std::vector<prepared>& runs, const options& opt) {
  const std::vector<std::string> held = held_times(runs);
  if (!opt.interval) {
    std::vector<series_time> each;
    for (std::size_t k = 0; k < held.size(); ++k) each.push_back({held[k], k, k, 0, 0});
    return each;
  }
  std::vector<series_time> series = series_at(held, *opt.interval, opt.max_gap);
  for (const series_time& t : series)
    if (!t.held() && t.after == *opt.interval)
      check_interpolable(runs[t.earlier].sel, runs[t.later].sel, held[t.earlier], held[t.later]);
  return series;
}

// The inventory of each time; a time that could not be prepared says why and what it
// holds (the inventory is for exactly such files).
void print_each_time(const std::vector<const time_group*>& times, const options& opt,
                     regridding* onto, std::ostream& out, std::ostream& warn) {
  for (const time_group* t : times) {
    try {
      const prepared r = prepare_times({t}, opt, onto, warn).front();
      print_inventory(r.sel, r.w, r.time->valid, out);
    } catch (const run_error& e) {
      out << "valid at " << (t->valid.empty() ? "no time" : t->valid)
          << ": cannot be prepared: " << e.what() << "\n";
      for (const source_field* s : t->fields)
        out << "found: " << s->file << ": " << s->origin << "\n";
    }
  }
}

// The inventory's series at --interval, or why there can be none.
void print_interval(const std::vector<const time_group*>& times, const options& opt,
                    regridding* onto, std::ostream& out) {
  std::ostream quiet(nullptr);  // the notes of each time follow with its inventory
  try {
    const std::vector<prepared> runs = prepare_times(times, opt, onto, quiet);
    print_series(series_of(runs, opt), held_times(runs), *opt.interval, out);
  } catch (const run_error& e) {
    out << "written at " << duration_text(*opt.interval) << ": nothing: " << e.what() << "\n";
  }
}

// The input field file of each time, checked not to be an input nor named twice.
std::vector<std::string> output_names(const std::vector<series_time>& series, const options& opt) {
  std::vector<std::string> names;
  for (const series_time& t : series) {
    const std::string name = name_for_time(opt.output, t.valid);
    if (name.size() > layout::longest_input_name)
      throw run_error("-o: \"" + name + "\" is longer than the " +
                      std::to_string(layout::longest_input_name) + " characters conv2model reads");
    const auto same = std::find(names.begin(), names.end(), name);
    if (same != names.end())
      throw run_error("-o: \"" + opt.output + "\" gives " +
                      series[std::size_t(same - names.begin())].valid + " and " + t.valid +
                      " the one name " + name +
                      "; put the time into the name, for example -o gfs_%Y%m%d%H.bin");
    names.push_back(name);
  }
  std::vector<std::string> outputs = names;
  outputs.push_back(config_name);
  check_outputs_are_distinct(outputs);
  check_outputs_are_not_inputs(opt.files, outputs);
  return names;
}

void write_all(const std::vector<prepared>& runs, const std::vector<series_time>& series,
               const std::vector<std::string>& names, const options& opt,
               const decode_limits& limits, const config_watch& watch, std::ostream& out,
               std::ostream& warn) {
  for (const prepared& r : runs) check_found_again(r.sel, r.w, limits);
  std::vector<std::unique_ptr<c2m::companion::staged_output>> staged;
  record_buffers buffers(runs.front().w, static_cast<std::int32_t>(runs.front().sel.levels.size()));
  const auto read_at = [&](std::size_t k) {
    std::set<const source_field*> fields;
    if (k < series.size()) {
      add_fields_read(runs[series[k].earlier].sel, fields);
      add_fields_read(runs[series[k].later].sel, fields);
    }
    return fields;
  };
  // Room for the fields of two successive times: a time between two held ones reads
  // both, each read once.
  std::size_t most = 0;
  for (std::size_t k = 0; k < series.size(); ++k) {
    std::set<const source_field*> both = read_at(k);
    both.merge(read_at(k + 1));
    most = std::max(most, both.size());
  }
  kept_fields keep(std::size_t(runs.front().w.im) * std::size_t(runs.front().w.jm), most,
                   kept_fields_budget);
  for (std::size_t k = 0; k < series.size(); ++k) {
    const series_time& t = series[k];
    const prepared& r = runs[t.earlier];
    const blend between{&runs[t.later].sel, t.after, t.span};
    staged.push_back(std::make_unique<c2m::companion::staged_output>(names[k]));
    keep.expect(read_at(k + 1));
    write_time_file(r.sel, r.w, staged.back()->temp_path(), names[k], opt, limits, buffers, warn,
                    t.held() ? nullptr : &between, &keep);
    keep.written();
  }
  c2m::companion::staged_output config(config_name);
  const std::string& first = runs.front().time->valid;
  write_config(config.temp_path(), config_name, runs.front().w, runs.front().sel,
               first.empty() ? "analysis" : first);
  bool replaced = false;
  {
    // All outputs or none: no signal between the renames, no other run's in between.
    const commit_lock lock;
    const companion::signals_held held;
    replaced = watch.replaced_by_another_run(config.temp_path());
    for (auto& s : staged) s->commit();
    config.commit();
  }
  for (std::size_t k = 0; k < series.size(); ++k) {
    const series_time& t = series[k];
    const prepared& r = runs[t.earlier];
    out << "wrote " << names[k] << ": " << r.w.im << " x " << r.w.jm << " points, "
        << r.sel.levels.size() << " levels from " << level_text(r.sel.levels.front()) << " to "
        << level_text(r.sel.levels.back()) << " hPa, valid at "
        << (t.valid.empty() ? "an unknown time" : t.valid)
        << (t.held() ? ""
                     : ", interpolated between " + runs[t.earlier].time->valid + " and " +
                           runs[t.later].time->valid)
        << "\n";
  }
  out << "wrote " << config_name << "\n";
  if (replaced)
    warn << program << ": note: another run wrote a different " << config_name
         << " in this directory while this one ran; this run's has replaced it, so the input "
            "field files that run wrote here do not match it: give each run a directory of "
            "its own\n";
}

}  // namespace

void prepare(const options& opt, std::ostream& out, std::ostream& warn) {
  companion::remove_temporaries_on_signals(program);
  const config_watch watch;
  const decode_limits limits{opt.jobs > 0 ? opt.jobs : cores_available(), opt.decode_seconds};
  // A plain output name is checked before anything is read; a pattern once the times are known.
  if (!opt.inventory && !names_a_time(opt.output)) {
    check_outputs_are_distinct({opt.output, config_name});
    check_outputs_are_not_inputs(opt.files, {opt.output, config_name});
  }
  const std::vector<source_field> found = inventory(opt.files, limits, opt.grid.has_value());
  // Made here, before the decoding processes start: they use its weights.
  std::unique_ptr<regridding> onto;
  if (opt.grid) onto = std::make_unique<regridding>(*opt.grid, opt.cut);
  const std::vector<time_group> groups = group_by_time(found, opt.member, warn);
  const std::vector<const time_group*> times = chosen_times(groups, opt);
  if (opt.each_time && times.size() > 1 && !names_a_time(opt.output))
    throw run_error("--each-time: -o \"" + opt.output +
                    "\" names no time; give a pattern such as -o gfs_%Y%m%d%H.bin");
  if (opt.inventory) {
    out << "valid times: " << groups.size() << ": " << times_text(groups) << "\n";
    if (opt.interval) print_interval(times, opt, onto.get(), out);
    print_each_time(times, opt, onto.get(), out, warn);
    print_unused(found, out);
    return;
  }
  const std::vector<prepared> runs = prepare_times(times, opt, onto.get(), warn);
  const std::vector<series_time> series = series_of(runs, opt);
  write_all(runs, series, output_names(series, opt), opt, limits, watch, out, warn);
}

}  // namespace c2m::prepare

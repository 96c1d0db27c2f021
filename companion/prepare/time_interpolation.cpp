#include "companion/prepare/time_interpolation.hpp"

#include <limits>
#include <numeric>
#include <optional>

#include "common/command_line_options.hpp"
#include "common/errors.hpp"
#include "companion/prepare/valid_time.hpp"

namespace c2m::prepare {

namespace {

std::string pair_text(const std::string& a, const std::string& b) {
  return a + " and " + b;
}

// The slot's name ("ta 850 hPa", "psl (mean-sea-level pressure)").
std::string slot_name(const source_field* a, const source_field* b) {
  const source_field& s = a ? *a : *b;
  if (!s.kind.surface) return field_label(s);
  return field_label(s) + " (" + surface_title(s.kind.surface) + ")";
}

// A value over a span of time (an accumulation, a mean) is never interpolated.
void check_instant(const source_field* s, const std::string& name, const std::string& at,
                   const std::string& ta, const std::string& tb) {
  if (!s->time_span.empty())
    throw run_error("--interval: " + name + " at " + at + " (" + s->file + ": " + s->origin +
                    ") is a value over a span of time (" + s->time_span +
                    "), not one at an instant; it cannot be interpolated between " +
                    pair_text(ta, tb));
}

// Called for a slot whose sources differ: one invariant source is taken as it is.
void check_slot(const source_field* a, const source_field* b, const std::string& name,
                const std::string& ta, const std::string& tb) {
  if (!a || !b)
    throw run_error("--interval: " + name + " is given at " + (a ? ta : tb) + " but not at " +
                    (a ? tb : ta) + "; a time between them cannot be interpolated");
  if (a->kind.from_specific_humidity != b->kind.from_specific_humidity)
    throw run_error("--interval: " + name + " comes as " +
                    (a->kind.from_specific_humidity ? "specific" : "relative") + " humidity at " +
                    ta + " and as " + (b->kind.from_specific_humidity ? "specific" : "relative") +
                    " humidity at " + tb + "; give one of them at both times");
  check_instant(a, name, ta, ta, tb);
  check_instant(b, name, tb, ta, tb);
}

// Whether a name pattern holds the conversion %c (not a %% followed by c).
bool holds(const std::string& pattern, char c) {
  for (std::size_t k = 0; k + 1 < pattern.size(); ++k)
    if (pattern[k] == '%') {
      if (pattern[k + 1] == c) return true;
      ++k;
    }
  return false;
}

}  // namespace

std::vector<series_time> series_at(const std::vector<std::string>& held, std::int64_t interval,
                                   std::int64_t max_gap) {
  std::vector<std::int64_t> at;
  for (const std::string& t : held) {
    const std::optional<std::int64_t> m = minutes_of(t);
    if (!m)
      throw run_error("--interval: the fields " +
                      (t.empty() ? std::string("name no valid time") : "are valid at " + t) +
                      "; a series needs dated times");
    at.push_back(*m);
  }
  const std::string every = duration_text(interval);
  for (std::size_t k = 1; k < at.size(); ++k)
    if ((at[k] - at[0]) % interval != 0)
      throw run_error("--interval " + every + ": " + held[k] + " does not lie a whole number of " +
                      every + " intervals after the first time " + held[0] +
                      "; choose an interval that divides the span");
  std::vector<series_time> series;
  for (std::size_t k = 0; k < at.size(); ++k) {
    series.push_back({held[k], k, k, 0, 0});
    if (k + 1 == at.size()) break;
    const std::int64_t span = at[k + 1] - at[k];
    if (span > interval && span > max_gap)
      throw run_error("--interval " + every + ": " + pair_text(held[k], held[k + 1]) + " lie " +
                      duration_text(span) + " apart, more than --max-gap " +
                      duration_text(max_gap) +
                      " allows to interpolate across; give the times between them");
    for (std::int64_t after = interval; after < span; after += interval)
      series.push_back({valid_text(at[k] + after), k, k + 1, after, span});
  }
  return series;
}

void check_interpolable(const selection& earlier, const selection& later,
                        const std::string& earlier_valid, const std::string& later_valid) {
  for (std::size_t f = 0; f < earlier.upper.size(); ++f)
    for (std::size_t l = 0; l < earlier.upper[f].size(); ++l) {
      const source_field* a = earlier.upper[f][l];
      const source_field* b = later.upper[f][l];
      if (a != b) check_slot(a, b, slot_name(a, b), earlier_valid, later_valid);
    }
  for (std::size_t k = 0; k < earlier.surface.size(); ++k) {
    const source_field* a = earlier.surface[k];
    const source_field* b = later.surface[k];
    if (a != b) check_slot(a, b, slot_name(a, b), earlier_valid, later_valid);
  }
  // Soil of another layering is interpolated layer by target layer once mapped at both
  // times: the two must be mapped alike.
  if (const std::optional<std::size_t> slot = differing_soil_slot(earlier.soil, later.soil)) {
    const int k = k_soil_t1 + static_cast<int>(*slot);
    const std::string name = std::string(surface_name(k)) + " (" + surface_title(k) + ")";
    throw run_error("--interval: " + name + " is " + soil_slot_text(earlier.soil, *slot) + " at " +
                    earlier_valid + " but " + soil_slot_text(later.soil, *slot) + " at " +
                    later_valid + "; the soil of both times must come in one layering");
  }
  for (const source_field* s : earlier.soil.sources)
    check_instant(s, field_label(*s), earlier_valid, earlier_valid, later_valid);
  for (const source_field* s : later.soil.sources)
    check_instant(s, field_label(*s), later_valid, earlier_valid, later_valid);
}

read_values interpolate(const read_values& a, const read_values& b, std::int64_t after,
                        std::int64_t span, std::vector<double>& out) {
  // A value no field holds marks the points missing at either time; the one value
  // that could come out equal to it stands outside the float range anyway, and is
  // placed as the infinity it would become.
  constexpr double missing = std::numeric_limits<double>::lowest();
  const double num = static_cast<double>(after), den = static_cast<double>(span);
  const std::size_t n = a.values.size();
  if (b.values.size() != n)
    throw run_error("the fields of the two times hold different numbers of points");
  out.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double x = a.values[i], y = b.values[i];
    if (x == a.missing || y == b.missing) {
      out[i] = missing;
      continue;
    }
    const double v = x + (y - x) * num / den;
    out[i] = v == missing ? -std::numeric_limits<double>::infinity() : v;
  }
  return {out, missing};
}

void print_series(const std::vector<series_time>& series, const std::vector<std::string>& held,
                  std::int64_t interval, std::ostream& out) {
  std::size_t between = 0;
  for (const series_time& t : series) between += t.held() ? 0 : 1;
  out << "written at " << duration_text(interval) << ": " << series.size() << " time"
      << (series.size() == 1 ? "" : "s") << ", " << series.size() - between << " held, " << between
      << " interpolated\n";
  for (const series_time& t : series) {
    if (t.held()) {
      out << "  " << t.valid << " held\n";
      continue;
    }
    const std::int64_t d = std::gcd(t.after, t.span);
    out << "  " << t.valid << " interpolated: " << (t.span - t.after) / d << "/" << t.span / d
        << " of " << held[t.earlier] << " + " << t.after / d << "/" << t.span / d << " of "
        << held[t.later] << "\n";
  }
}

void check_pattern_for_interval(const std::string& pattern, std::int64_t interval) {
  if (interval % 60 != 0 && !holds(pattern, 'M'))
    throw usage_error("--interval " + duration_text(interval) + ": -o \"" + pattern +
                      "\" cannot tell apart times within an hour; put %M into it");
  if (interval % (24 * 60) != 0 && !holds(pattern, 'H'))
    throw usage_error("--interval " + duration_text(interval) + ": -o \"" + pattern +
                      "\" cannot tell apart times within a day; put %H into it");
}

}  // namespace c2m::prepare

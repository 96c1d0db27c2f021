#include "companion/inspect/stats.hpp"

#include <cmath>
#include <vector>

#include "common/constants.hpp"
#include "common/field_slots.hpp"
#include "companion/common/number_text.hpp"

namespace c2m::inspect {

namespace {

bool plausible(float v, const companion::plausible_range& range) {
  if (!range.checked) return true;
  if (range.mask) return v == range.low || v == range.high;
  return v >= range.low && v <= range.high;
}

// Bin of v among ten equal bins from min to max; max itself falls in the last bin.
std::size_t bin_of(float v, float min, float max) {
  if (!(max > min)) return 0;
  const double t = (static_cast<double>(v) - min) / (static_cast<double>(max) - min);
  if (!(t > 0.0)) return 0;
  if (t >= 1.0) return 9;
  return static_cast<std::size_t>(t * 10.0);
}

// A column of the table: text padded to width (at least one blank before it on the right).
std::string right(const std::string& text, std::size_t width) {
  return std::string(text.size() < width ? width - text.size() : 1, ' ') + text;
}
std::string left(const std::string& text, std::size_t width) {
  return text + std::string(text.size() < width ? width - text.size() : 1, ' ');
}

// What is wrong with a record, one item per kind of fault.
std::vector<std::string> flags(const record_stats& s, const companion::field_desc& f) {
  std::vector<std::string> items;
  const auto add = [&](std::size_t n, const std::string& what) {
    if (n > 0) items.push_back(std::to_string(n) + " " + what);
  };
  add(s.missing, "missing (-99999)");
  add(s.implausible, describe_range(f));
  add(s.nan, "NaN");
  add(s.inf, "infinite");
  return items;
}

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

}  // namespace

record_stats compute_stats(std::span<const float> values, const companion::plausible_range& range,
                           std::span<const float> land_sea_mask) {
  record_stats s;
  double sum = 0.0;  // in double: a float sum loses the mean of a large grid
  for (std::size_t p = 0; p < values.size(); ++p) {
    const float v = values[p];
    const bool checked = land_sea_mask.empty() || land_sea_mask[p] == 1.0f;
    if (v == 0.0f) ++s.zero;
    if (std::isnan(v)) {
      ++s.nan;
    } else if (std::isinf(v)) {
      ++s.inf;
    } else if (v == missing_value) {
      ++s.missing;
    } else {
      if (s.valid == 0 || v < s.min) s.min = v;
      if (s.valid == 0 || v > s.max) s.max = v;
      ++s.valid;
      sum += v;
      if (checked && !plausible(v, range)) ++s.implausible;
    }
  }
  if (s.valid == 0) return s;
  s.mean = sum / static_cast<double>(s.valid);
  for (const float v : values)
    if (std::isfinite(v) && v != missing_value) ++s.histogram[bin_of(v, s.min, s.max)];
  return s;
}

std::string describe_range(const companion::field_desc& f) {
  const companion::plausible_range& r = f.range;
  if (!r.checked) return "";
  if (r.mask)
    return "neither " + companion::short_number(r.low) + " nor " + companion::short_number(r.high);
  return "outside " + companion::short_number(r.low) + ".." + companion::short_number(r.high) +
         (f.units.empty() ? "" : " " + f.units);
}

std::size_t print_stats(const companion::work_file& w, bool histogram, std::ostream& out) {
  out << right("rec", 4) << "  " << left("field", 7) << right("level", 6) << right("hPa", 10)
      << right("min", 14) << right("max", 14) << right("mean", 14) << right("-99999", 10)
      << right("NaN", 10) << right("0.0", 10) << "  flags\n";
  std::size_t raised = 0, records = 0;
  const std::vector<companion::record_id> ids = companion::list_records(w.info);
  std::span<const float> mask;
  for (const companion::record_id& r : ids)
    if (companion::is(*r.field, slots::work_2d(slots::land_sea_mask))) mask = w.record(r.number);
  for (const companion::record_id& r : ids) {
    const bool land_only = companion::defined_over_land_only(*r.field);
    const record_stats s = compute_stats(w.record(r.number), r.field->range,
                                         land_only ? mask : std::span<const float>{});
    const bool any = s.valid > 0;
    const bool level = r.level > 0;
    out << right(std::to_string(r.number), 4) << "  " << left(companion::display_name(*r.field), 7)
        << right(level ? std::to_string(r.level) : "-", 6)
        << right(level ? companion::short_number(r.pressure_hpa) : "-", 10)
        << right(any ? companion::short_number(s.min) : "-", 14)
        << right(any ? companion::short_number(s.max) : "-", 14)
        << right(any ? companion::short_number(s.mean) : "-", 14)
        << right(std::to_string(s.missing), 10) << right(std::to_string(s.nan), 10)
        << right(std::to_string(s.zero), 10);
    const std::vector<std::string> f = flags(s, *r.field);
    out << (f.empty() ? "" : "  " + joined(f)) << '\n';
    raised += f.size();
    records += f.empty() ? 0 : 1;
    if (histogram && any) {
      out << "      histogram " << companion::short_number(s.min) << " .. "
          << companion::short_number(s.max) << ", 10 bins:";
      for (const std::size_t n : s.histogram) out << ' ' << n;
      out << '\n';
    }
  }
  out << raised << (raised == 1 ? " flag" : " flags") << " raised in " << records << " of "
      << w.record_count() << " records\n";
  return raised;
}

}  // namespace c2m::inspect

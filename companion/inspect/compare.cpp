#include "companion/inspect/compare.hpp"

#include <cmath>
#include <limits>

#include "common/constants.hpp"
#include "companion/common/number_text.hpp"

namespace c2m::inspect {

namespace {

std::string dims(const companion::grid_info& g) {
  return std::to_string(g.im) + " x " + std::to_string(g.jm) + " points, " + std::to_string(g.lm) +
         " levels";
}

// Differences of the two info files; an empty list when they describe the same layout.
std::vector<std::string> compare_layout(const companion::grid_info& a,
                                        const companion::grid_info& b) {
  std::vector<std::string> out;
  if (a.im != b.im || a.jm != b.jm || a.lm != b.lm) {
    out.push_back("grids differ: " + dims(a) + " against " + dims(b) + "; records not compared");
    return out;
  }
  for (std::size_t l = 0; l < a.pressure_pa.size(); ++l)
    if (!(a.pressure_pa[l] == b.pressure_pa[l]))
      out.push_back("pressure of level " + std::to_string(l + 1) +
                    " differs: " + companion::short_number(a.pressure_pa[l], 9) + " Pa against " +
                    companion::short_number(b.pressure_pa[l], 9) + " Pa");
  for (const std::size_t n : {1, 4, 5, 6, 7, 8, 9, 10, 11, 20})
    if (a.kgds[n] != b.kgds[n])
      out.push_back("grid description kgds(" + std::to_string(n) + ") differs: " +
                    std::to_string(a.kgds[n]) + " against " + std::to_string(b.kgds[n]));
  const auto fields = [&](const std::vector<companion::field_desc>& fa,
                          const std::vector<companion::field_desc>& fb) {
    for (std::size_t k = 0; k < fa.size() && k < fb.size(); ++k)
      if (fa[k].long_name != fb[k].long_name || fa[k].units != fb[k].units)
        out.push_back("field " + std::to_string(k + 1) + " differs: " + fa[k].long_name +
                      " against " + fb[k].long_name);
  };
  fields(a.fields_3d, b.fields_3d);
  fields(a.fields_2d, b.fields_2d);
  return out;
}

}  // namespace

double point_difference(float a, float b) {
  if (a == b || (std::isnan(a) && std::isnan(b))) return 0.0;
  const double d = std::fabs(static_cast<double>(a) - static_cast<double>(b));
  return std::isnan(d) ? std::numeric_limits<double>::infinity() : d;
}

namespace {

void count_at(counted_points& c, std::size_t p, std::size_t im) {
  if (c.count++ > 0) return;
  c.i = static_cast<std::int32_t>(p % im) + 1;
  c.j = static_cast<std::int32_t>(p / im) + 1;
}

// One record, point by point: the kinds of difference that have no size are counted
// apart from the finite ones, which alone make the largest difference and the RMS.
record_difference compare_record(std::span<const float> va, std::span<const float> vb,
                                 std::size_t im, double tolerance) {
  record_difference d{};
  double squares = 0.0;
  std::size_t finite = 0;
  for (std::size_t p = 0; p < va.size(); ++p) {
    const float a = va[p], b = vb[p];
    const double diff = point_difference(a, b);
    if ((a == missing_value) != (b == missing_value)) {
      count_at(d.against_missing, p, im);
    } else if (diff != 0.0 && (std::isnan(a) || std::isnan(b))) {
      count_at(d.nan, p, im);
    } else if (!std::isfinite(diff)) {
      count_at(d.infinite, p, im);
    } else {
      squares += diff * diff;
      ++finite;
      if (!(diff > tolerance)) continue;
      if (d.points++ == 0 || diff > d.largest) {
        d.largest = diff;
        d.i = static_cast<std::int32_t>(p % im) + 1;
        d.j = static_cast<std::int32_t>(p / im) + 1;
      }
    }
  }
  d.rms = finite > 0 ? std::sqrt(squares / static_cast<double>(finite)) : 0.0;
  return d;
}

bool differs(const record_difference& d) {
  return d.points > 0 || d.against_missing.count > 0 || d.nan.count > 0 || d.infinite.count > 0;
}

}  // namespace

comparison compare_work_files(const companion::work_file& a, const companion::work_file& b,
                              double tolerance) {
  comparison c;
  c.layout = compare_layout(a.info, b.info);
  if (a.info.im != b.info.im || a.info.jm != b.info.jm || a.info.lm != b.info.lm) return c;
  bool all_equal = true;
  for (int r = 1; r <= a.record_count(); ++r) {
    const std::span<const float> va = a.record(r), vb = b.record(r);
    for (std::size_t p = 0; p < va.size() && all_equal; ++p)
      all_equal = point_difference(va[p], vb[p]) == 0.0;
    record_difference d = compare_record(va, vb, static_cast<std::size_t>(a.info.im), tolerance);
    d.number = r;
    if (differs(d)) c.records.push_back(d);
  }
  c.identical = all_equal && c.layout.empty();
  return c;
}

namespace {

std::string value_text(float v) {
  if (v == missing_value) return "missing";
  if (std::isnan(v)) return "NaN";
  return companion::short_number(v, 9);
}

void print_record(const record_difference& d, const companion::record_id& r,
                  const companion::work_file& a, const companion::work_file& b, std::ostream& out) {
  const std::span<const float> va = a.record(d.number), vb = b.record(d.number);
  const std::size_t im = static_cast<std::size_t>(a.info.im);
  const auto at = [&](std::int32_t i, std::int32_t j) {
    return static_cast<std::size_t>(j - 1) * im + static_cast<std::size_t>(i - 1);
  };
  out << "record " << d.number << ' ' << companion::display_name(*r.field);
  if (r.level > 0)
    out << " level " << r.level << " (" << companion::short_number(r.pressure_hpa) << " hPa)";
  out << ':';
  const char* separator = "";
  if (d.points > 0) {
    const std::size_t p = at(d.i, d.j);
    out << ' ' << d.points << " of " << a.points() << " points differ, largest |A-B| "
        << companion::short_number(d.largest) << " at (i, j) = (" << d.i << ", " << d.j
        << "): " << value_text(va[p]) << " against " << value_text(vb[p]) << ", RMS "
        << companion::short_number(d.rms);
    separator = ";";
  }
  const auto kind = [&](const counted_points& c, const char* what) {
    if (c.count == 0) return;
    const std::size_t p = at(c.i, c.j);
    out << separator << ' ' << c.count << (c.count == 1 ? " point " : " points ") << what
        << ", the first at (i, j) = (" << c.i << ", " << c.j << "): " << value_text(va[p])
        << " against " << value_text(vb[p]);
    separator = ";";
  };
  kind(d.nan, "NaN in one file only");
  kind(d.infinite, "infinite in one file only or of opposite signs");
  kind(d.against_missing, "against missing");
  out << '\n';
}

}  // namespace

void print_comparison(const comparison& c, const companion::work_file& a,
                      const companion::work_file& b, double tolerance, std::ostream& out) {
  for (const std::string& line : c.layout) out << line << '\n';
  if (!c.records.empty()) {
    const std::vector<companion::record_id> ids = companion::list_records(a.info);
    for (const record_difference& d : c.records)
      print_record(d, ids[static_cast<std::size_t>(d.number - 1)], a, b, out);
  }
  const std::string names = a.path + " and " + b.path;
  if (c.identical)
    out << names << " are identical\n";
  else if (c.match())
    out << names << " match within " << companion::short_number(tolerance) << '\n';
  else if (c.records.empty())
    out << names << " differ in their info files\n";
  else
    out << names << " differ in " << c.records.size() << " of " << a.record_count() << " records\n";
}

}  // namespace c2m::inspect

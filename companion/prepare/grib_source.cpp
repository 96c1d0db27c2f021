#include "companion/prepare/grib_source.hpp"

#include <eccodes.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>

#include "common/errors.hpp"
#include "companion/prepare/decode_workers.hpp"
#include "companion/prepare/grib_reader.hpp"

namespace c2m::prepare {

namespace {

// Marks the points a bitmap leaves out; no field of the analysis comes near it.
constexpr double bitmap_missing = 9.999e20;

// Points along one axis beyond any analysis (a millidegree grid has 360000); keeps
// the count of points far from overflow.
constexpr long most_along_axis = 1000000;

// Room for one inventory entry in a worker's slot: its texts are short.
constexpr std::size_t inventory_entry_bytes = 64 * 1024;

std::size_t window_bytes(const window& w) {
  return std::size_t(w.im) * std::size_t(w.jm) * sizeof(float);
}

struct handle_deleter {
  void operator()(codes_handle* h) const { codes_handle_delete(h); }
};
using handle_ptr = std::unique_ptr<codes_handle, handle_deleter>;

// A handle on field k of the file over bytes of our own, checked by the scan; the
// bytes live as long as the handle.
struct field_handle {
  std::vector<unsigned char> bytes;
  handle_ptr h;
};

field_handle open_field(const grib_file& file, std::size_t k) {
  field_handle f{file.message(k), nullptr};
  f.h.reset(codes_handle_new_from_message(nullptr, f.bytes.data(), f.bytes.size()));
  if (!f.h) throw run_error(file.where(k) + ": cannot be decoded" + decoder_said());
  return f;
}

long get_long(codes_handle* h, const char* key, long otherwise = 0) {
  long v = 0;
  return codes_get_long(h, key, &v) == 0 ? v : otherwise;
}

double get_double(codes_handle* h, const char* key, double otherwise = 0) {
  double v = 0;
  return codes_get_double(h, key, &v) == 0 ? v : otherwise;
}

std::string get_string(codes_handle* h, const char* key) {
  char buf[256] = {};
  std::size_t len = sizeof buf;
  return codes_get_string(h, key, buf, &len) == 0 ? std::string(buf) : std::string();
}

bool key_missing(codes_handle* h, const char* key) {
  int err = 0;
  return codes_is_missing(h, key, &err) == 1 || err != 0;
}

// A fixed surface of GRIB 2 in its unit (Pa for pressure, m for depth).
double surface_value(codes_handle* h, const char* factor, const char* value) {
  if (key_missing(h, value)) return 0;
  const long f = key_missing(h, factor) ? 0 : get_long(h, factor);
  return double(get_long(h, value)) * std::pow(10.0, double(-f));
}

struct level_info {
  level_kind kind = level_kind::other;
  double hpa = 0;              // isobaric
  double top = 0, bottom = 0;  // soil layer, metres
};

level_info decode_level(codes_handle* h, long edition) {
  level_info l;
  if (edition == 1) {
    switch (get_long(h, "indicatorOfTypeOfLevel", -1)) {
      case 100:
        l.kind = level_kind::isobaric;
        l.hpa = double(get_long(h, "level"));
        break;
      case 1:
        l.kind = level_kind::surface;
        break;
      case 102:
        l.kind = level_kind::mean_sea;
        break;
      case 112:
        l.kind = level_kind::soil_layer;
        l.top = double(get_long(h, "topLevel")) / 100.0;
        l.bottom = double(get_long(h, "bottomLevel")) / 100.0;
        break;
      default:
        break;
    }
    return l;
  }
  const long first = get_long(h, "typeOfFirstFixedSurface", -1);
  switch (first) {
    case 100:
      l.kind = level_kind::isobaric;
      l.hpa = surface_value(h, "scaleFactorOfFirstFixedSurface", "scaledValueOfFirstFixedSurface") /
              100.0;
      break;
    case 1:
      l.kind = level_kind::surface;
      break;
    case 101:
      l.kind = level_kind::mean_sea;
      break;
    case 106:
      l.kind = level_kind::soil_layer;
      l.top = surface_value(h, "scaleFactorOfFirstFixedSurface", "scaledValueOfFirstFixedSurface");
      l.bottom =
          surface_value(h, "scaleFactorOfSecondFixedSurface", "scaledValueOfSecondFixedSurface");
      break;
    default:
      break;
  }
  return l;
}

std::string grid_name(const std::string& type) {
  if (type == "regular_gg" || type == "reduced_gg") return "a Gaussian grid (" + type + ")";
  if (type == "lambert") return "a Lambert conformal grid (" + type + ")";
  if (type == "rotated_ll") return "a rotated latitude/longitude grid (" + type + ")";
  if (type == "sh") return "spherical harmonics (" + type + ")";
  return "a grid of type " + (type.empty() ? std::string("unknown") : type);
}

latlon_grid decode_grid(codes_handle* h, const std::string& what) {
  const std::string type = get_string(h, "gridType");
  if (type != "regular_ll")
    throw run_error(what + " is on " + grid_name(type) +
                    "; conv2model-prepare reads regular latitude/longitude grids only");
  latlon_grid g;
  g.ni = get_long(h, "Ni");
  g.nj = get_long(h, "Nj");
  g.lat_first = get_double(h, "latitudeOfFirstGridPointInDegrees");
  g.lon_first = get_double(h, "longitudeOfFirstGridPointInDegrees");
  const double lat_last = get_double(h, "latitudeOfLastGridPointInDegrees");
  const double lon_last = get_double(h, "longitudeOfLastGridPointInDegrees");
  g.i_negative = get_long(h, "iScansNegatively") != 0;
  g.j_positive = get_long(h, "jScansPositively") != 0;
  g.j_consecutive = get_long(h, "jPointsAreConsecutive") != 0;
  if (get_long(h, "alternativeRowScanning") != 0)
    throw run_error(what + " scans alternate rows in opposite directions, which is not supported");
  if (g.ni < 2 || g.nj < 2)
    throw run_error(what + ": the grid has " + std::to_string(g.ni) + " x " + std::to_string(g.nj) +
                    " points; two or more in each direction are needed");
  if (g.ni > most_along_axis || g.nj > most_along_axis)
    throw run_error(what + ": the grid has " + std::to_string(g.ni) + " x " + std::to_string(g.nj) +
                    " points, more than any analysis (damaged?)");
  // The increments from the corner points: exact where the coded increments are
  // rounded to millidegrees, and there where the increments are not given.
  double span_i = g.i_negative ? g.lon_first - lon_last : lon_last - g.lon_first;
  while (span_i <= 0) span_i += 360.0;
  g.di = span_i / double(g.ni - 1);
  g.dj = std::fabs(lat_last - g.lat_first) / double(g.nj - 1);
  if (!(g.dj > 0)) throw run_error(what + ": the grid's first and last latitudes are equal");
  if ((lat_last > g.lat_first) != g.j_positive)
    throw run_error(what + ": the grid's corner latitudes contradict its scanning flags");
  return g;
}

std::string time_text(codes_handle* h) {
  const long date = get_long(h, "validityDate");
  const long time = get_long(h, "validityTime");
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04ld-%02ld-%02ldT%02ld:%02ldZ", date / 10000, date / 100 % 100,
                date % 100, time / 100, time % 100);
  return buf;
}

std::string level_text(const level_info& l) {
  char buf[64];
  switch (l.kind) {
    case level_kind::isobaric:
      std::snprintf(buf, sizeof buf, "%g hPa", l.hpa);
      break;
    case level_kind::surface:
      return "surface";
    case level_kind::mean_sea:
      return "mean sea level";
    case level_kind::soil_layer:
      std::snprintf(buf, sizeof buf, "%g-%g m below ground", l.top, l.bottom);
      break;
    default:
      return "other";
  }
  return buf;
}

// What the inventory takes from field n of the file, or nothing when the analysis does
// not need it.
std::optional<source_field> inventory_entry(const handle_ptr& h, const std::string& path,
                                            std::int64_t n) {
  grib_code code;
  code.edition = get_long(h.get(), "edition");
  if (code.edition == 1) {
    code.category = get_long(h.get(), "table2Version");
    code.number = get_long(h.get(), "indicatorOfParameter");
  } else {
    code.discipline = get_long(h.get(), "discipline");
    code.category = get_long(h.get(), "parameterCategory");
    code.number = get_long(h.get(), "parameterNumber");
  }
  const level_info level = decode_level(h.get(), code.edition);
  code.level = level.kind;
  std::optional<field_kind> kind = grib_field(code);
  if (!kind) return std::nullopt;

  source_field s;
  s.file = path;
  s.message = n;
  s.kind = *kind;
  s.level_hpa = level.hpa;
  const std::string code_text =
      code.edition == 1
          ? "GRIB 1 table " + std::to_string(code.category) + " code " + std::to_string(code.number)
          : "GRIB 2 " + std::to_string(code.discipline) + "/" + std::to_string(code.category) +
                "/" + std::to_string(code.number);
  s.origin = "message " + std::to_string(n + 1) + " (" + get_string(h.get(), "shortName") + ", " +
             code_text + ", " + level_text(level) + ")";
  if (kind->soil_layer_by_depth) {
    const std::optional<int> layer = soil_layer(level.top, level.bottom);
    if (!layer) return std::nullopt;  // a soil layer of another model's layering
    s.kind.surface += 2 * (*layer - 1);
    s.kind.soil_layer_by_depth = false;
  }
  s.grid = decode_grid(h.get(), path + ": " + s.origin);
  s.valid_time = time_text(h.get());
  return s;
}

// A source_field through a worker's slot: every member the GRIB inventory sets but the
// file, which the parent knows.
static_assert(sizeof(source_field) == 232,
              "source_field has changed: carry every member through put_field and take_field");

class slot_writer {
 public:
  explicit slot_writer(std::span<unsigned char> slot) : slot_(slot) {}
  template <class T>
  void put(const T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    bytes(&v, sizeof v);
  }
  void put(const std::string& text) {
    put(text.size());
    bytes(text.data(), text.size());
  }
  std::size_t used() const { return used_; }

 private:
  void bytes(const void* p, std::size_t n) {
    if (n > slot_.size() - used_) throw run_error("an inventory entry too large to pass on");
    std::memcpy(slot_.data() + used_, p, n);
    used_ += n;
  }
  std::span<unsigned char> slot_;
  std::size_t used_ = 0;
};

class slot_reader {
 public:
  explicit slot_reader(std::span<const unsigned char> from) : from_(from) {}
  template <class T>
  void take(T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    bytes(&v, sizeof v);
  }
  void take(std::string& text) {
    std::size_t n = 0;
    take(n);
    if (n > from_.size() - used_) throw run_error("a malformed inventory entry");
    text.assign(reinterpret_cast<const char*>(from_.data() + used_), n);
    used_ += n;
  }
  bool at_end() const { return used_ == from_.size(); }

 private:
  void bytes(void* p, std::size_t n) {
    if (n > from_.size() - used_) throw run_error("a malformed inventory entry");
    std::memcpy(p, from_.data() + used_, n);
    used_ += n;
  }
  std::span<const unsigned char> from_;
  std::size_t used_ = 0;
};

std::size_t put_field(const std::optional<source_field>& s, std::span<unsigned char> slot) {
  slot_writer w(slot);
  w.put(s.has_value());
  if (!s) return w.used();
  w.put(s->kind);
  w.put(s->level_hpa);
  w.put(s->message);
  w.put(s->level_index);
  w.put(s->variable);
  w.put(s->origin);
  w.put(s->grid);
  w.put(s->valid_time);
  return w.used();
}

std::optional<source_field> take_field(std::span<const unsigned char> from,
                                       const std::string& path) {
  slot_reader r(from);
  bool present = false;
  r.take(present);
  if (!present) return std::nullopt;
  source_field s;
  s.file = path;
  r.take(s.kind);
  r.take(s.level_hpa);
  r.take(s.message);
  r.take(s.level_index);
  r.take(s.variable);
  r.take(s.origin);
  r.take(s.grid);
  r.take(s.valid_time);
  if (!r.at_end()) throw run_error("a malformed inventory entry");
  return s;
}

// Decodes the values of one load in a worker and leaves its window in the slot.
std::size_t decode_values(const grib_file& file, const grib_load& l,
                          std::span<unsigned char> slot) {
  const field_handle f = open_field(file, static_cast<std::size_t>(l.field->message));
  codes_handle* h = f.h.get();
  const std::string what = file.path() + ": " + l.field->origin;
  std::size_t count = 0;
  codes_get_size(h, "values", &count);
  if (count != l.field->grid.points())
    throw run_error(what + " holds " + std::to_string(count) + " values for a grid of " +
                    std::to_string(l.field->grid.points()) + " points");
  codes_set_double(h, "missingValue", bitmap_missing);
  std::vector<double> values(count);
  const int err = codes_get_double_array(h, "values", values.data(), &count);
  if (err != 0)
    throw run_error(what + ": cannot decode the values: " + codes_get_error_message(err) +
                    decoder_said());
  place(values, bitmap_missing, *l.cut, l.field->kind, reinterpret_cast<float*>(slot.data()));
  return window_bytes(*l.cut);
}

}  // namespace

std::vector<source_field> grib_inventory(const std::string& path, const decode_limits& limits) {
  const grib_file file(path);
  const std::size_t n = file.fields().size();
  if (n == 0) throw run_error(path + ": not a GRIB or NetCDF file (no GRIB message found)");
  std::vector<std::optional<source_field>> entries(n);
  run_in_workers(
      n, inventory_entry_bytes, limits,
      [&](std::size_t k, std::span<unsigned char> slot) {
        return put_field(inventory_entry(open_field(file, k).h, path, std::int64_t(k)), slot);
      },
      [&](std::size_t k, std::span<const unsigned char> r) { entries[k] = take_field(r, path); },
      [&](std::size_t k) { return file.where(k); });
  std::vector<source_field> found;
  for (std::optional<source_field>& e : entries)
    if (e) found.push_back(std::move(*e));
  return found;
}

void grib_read(const std::string& path, const std::vector<grib_load>& loads,
               const decode_limits& limits) {
  const grib_file file(path);
  std::size_t most = 0;
  for (const grib_load& l : loads) {
    if (l.field->message < 0 || std::size_t(l.field->message) >= file.fields().size())
      throw run_error(path + ": the file has changed since its inventory (no message " +
                      std::to_string(l.field->message + 1) + " now)");
    most = std::max(most, window_bytes(*l.cut));
  }
  run_in_workers(
      loads.size(), most, limits,
      [&](std::size_t k, std::span<unsigned char> slot) {
        return decode_values(file, loads[k], slot);
      },
      [&](std::size_t k, std::span<const unsigned char> r) {
        if (r.size() != window_bytes(*loads[k].cut))
          throw run_error(path + ": " + loads[k].field->origin + ": the decoding process gave " +
                          std::to_string(r.size()) + " bytes for a window of " +
                          std::to_string(window_bytes(*loads[k].cut)));
        std::memcpy(loads[k].out, r.data(), r.size());
      },
      [&](std::size_t k) { return file.where(std::size_t(loads[k].field->message)); });
}

}  // namespace c2m::prepare

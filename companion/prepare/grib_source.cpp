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
#include "companion/prepare/grib_keys.hpp"
#include "companion/prepare/grib_reader.hpp"

namespace c2m::prepare {

namespace {

// Marks the points a bitmap leaves out; no field of the analysis comes near it.
constexpr double bitmap_missing = 9.999e20;

// Room for one inventory entry in a worker's slot: its texts are short.
constexpr std::size_t inventory_entry_bytes = 64 * 1024;

struct handle_deleter {
  void operator()(codes_handle* h) const { codes_handle_delete(h); }
};
using handle_ptr = std::unique_ptr<codes_handle, handle_deleter>;

// A handle on field k of the file over `bytes`, read into them now and checked by the
// scan. The bytes are the caller's, reused from message to message (fresh memory for
// each costs a page fault per 4 KiB): they must outlive the handle.
handle_ptr open_field(const grib_file& file, std::size_t k, std::vector<unsigned char>& bytes) {
  file.message(k, bytes);
  handle_ptr h(codes_handle_new_from_message(nullptr, bytes.data(), bytes.size()));
  if (!h) throw run_error(file.where(k) + ": cannot be decoded" + decoder_said());
  return h;
}

// The same for reading keys only: for GRIB 2 without its data, which the inventory of
// a large file would otherwise read in full.
handle_ptr open_headers(const grib_file& file, std::size_t k, std::vector<unsigned char>& bytes) {
  handle_ptr h(file.headers(k, bytes)
                   ? codes_handle_new_from_partial_message(nullptr, bytes.data(), bytes.size())
                   : codes_handle_new_from_message(nullptr, bytes.data(), bytes.size()));
  if (!h) throw run_error(file.where(k) + ": cannot be decoded" + decoder_said());
  return h;
}

// "GRIB 2 0/2/2" or "GRIB 1 table 2 code 33".
std::string code_text(const grib_code& code) {
  if (code.edition == 1)
    return "GRIB 1 table " + std::to_string(code.category) + " code " + std::to_string(code.number);
  return "GRIB 2 " + std::to_string(code.discipline) + "/" + std::to_string(code.category) + "/" +
         std::to_string(code.number);
}

// The field a message holds, or nothing when the analysis does not need it.
std::optional<source_field> inventory_entry(const grib_keys& k, const std::string& path,
                                            std::int64_t n) {
  const grib_code code = decode_code(k);
  const level_info level = decode_level(k, code.edition);
  grib_code at_level = code;
  at_level.level = level.kind;
  std::optional<field_kind> kind = grib_field(at_level);
  if (!kind) return std::nullopt;

  source_field s;
  s.file = path;
  s.message = n;
  s.kind = *kind;
  s.level_hpa = level.hpa;
  // The short name only helps a reader of the inventory; ecCodes may not know it.
  s.origin = "message " + std::to_string(n + 1) + " (" +
             k.optional_string("shortName").value_or("unknown") + ", " + code_text(code) + ", " +
             level_text(level) + ")";
  // An accumulation or mean over a span is written at its time as it is; a series at an
  // interval refuses to interpolate it.
  if (const auto step = k.optional_string("stepType"); step && *step != "instant")
    s.time_span = *step;
  if (kind->soil_layer_by_depth) {
    // A layer of another model's layering stays unresolved: the inventory lists it, and a
    // missing soil layer is reported with it.
    const std::optional<int> layer =
        level.bottom_missing ? std::nullopt : soil_layer(level.top, level.bottom);
    if (layer) {
      s.kind.surface += 2 * (*layer - 1);
      s.kind.soil_layer_by_depth = false;
    }
  }
  s.grid = decode_grid(grib_keys(k.handle(), path + ": " + s.origin));
  // Winds along the axes of a projected grid keep that flag when CDO regrids them without
  // turning them: on a latitude/longitude grid they would pass for east and north.
  const bool wind =
      !s.kind.surface && (s.kind.upper == upper_field::uw || s.kind.upper == upper_field::vw);
  if (wind && k.optional_long("uvRelativeToGrid").value_or(0) == 1)
    throw run_error(path + ": " + s.origin +
                    " is a wind component along the grid's own axes (uvRelativeToGrid=1), as "
                    "on a projected grid or one regridded from it; turn u and v to east and "
                    "north first (docs/prepare.md shows how for a Lambert grid)");
  const message_time t = decode_time(k);
  s.valid_time = t.valid;
  s.reference_time = t.reference;
  s.member = t.member;
  return s;
}

// A source_field through a worker's slot: every member the GRIB inventory sets but the
// file, which the parent knows. The binding names every member, so a member added to
// source_field stops the build here until it is passed on too.
template <class S, class F>
void passed_members(S& s, F&& pass) {
  auto& [kind, level_hpa, file, message, level_index, time_index, variable, origin, grid,
         valid_time, reference_time, member, time_span] = s;
  (void)file;
  pass(kind);
  pass(level_hpa);
  pass(message);
  pass(level_index);
  pass(time_index);
  pass(variable);
  pass(origin);
  pass(grid);
  pass(valid_time);
  pass(reference_time);
  pass(member);
  pass(time_span);
}

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
  void put(const std::optional<long>& v) {
    put(v.has_value());
    put(v.value_or(0));
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
  void take(std::optional<long>& v) {
    bool present = false;
    long value = 0;
    take(present);
    take(value);
    v = present ? std::optional<long>(value) : std::nullopt;
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
  passed_members(*s, [&](const auto& m) { w.put(m); });
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
  passed_members(s, [&](auto& m) { r.take(m); });
  if (!r.at_end()) throw run_error("a malformed inventory entry");
  return s;
}

}  // namespace

std::vector<source_field> grib_inventory(const std::string& path, const decode_limits& limits) {
  const grib_file file(path);
  const std::size_t n = file.fields().size();
  if (n == 0) throw run_error(path + ": not a GRIB or NetCDF file (no GRIB message found)");
  std::vector<std::optional<source_field>> entries(n);
  std::vector<unsigned char> bytes;  // each worker's copy, once it is one
  run_in_workers(
      n, inventory_entry_bytes, limits,
      [&](std::size_t k, std::span<unsigned char> slot) {
        const handle_ptr h = open_headers(file, k, bytes);
        return put_field(inventory_entry(grib_keys(h.get(), file.where(k)), path, std::int64_t(k)),
                         slot);
      },
      [&](std::size_t k, std::span<const unsigned char> r) { entries[k] = take_field(r, path); },
      [&](std::size_t k) { return file.where(k); });
  std::vector<source_field> found;
  for (std::optional<source_field>& e : entries)
    if (e) found.push_back(std::move(*e));
  return found;
}

grib_file check_inventory_still_holds(const std::string& path,
                                      const std::vector<const source_field*>& fields) {
  grib_file file(path);
  for (const source_field* f : fields)
    if (f->message < 0 || std::size_t(f->message) >= file.fields().size())
      throw run_error(path + ": the file has changed since its inventory (no message " +
                      std::to_string(f->message + 1) + " now)");
  return file;
}

read_values grib_values(const grib_file& file, const source_field& field, grib_memory& memory) {
  const handle_ptr handle =
      open_field(file, static_cast<std::size_t>(field.message), memory.message);
  codes_handle* h = handle.get();
  const std::string what = file.path() + ": " + field.origin;
  std::size_t count = 0;
  if (const int err = codes_get_size(h, "values", &count))
    throw run_error(what + ": cannot read the key values: " + codes_get_error_message(err));
  if (count != field.grid.points())
    throw run_error(what + " holds " + std::to_string(count) + " values for a grid of " +
                    std::to_string(field.grid.points()) + " points");
  if (const int err = codes_set_double(h, "missingValue", bitmap_missing))
    throw run_error(what + ": cannot set the key missingValue: " + codes_get_error_message(err));
  memory.values.resize(count);
  if (const int err = codes_get_double_array(h, "values", memory.values.data(), &count))
    throw run_error(what + ": cannot decode the values: " + codes_get_error_message(err) +
                    decoder_said());
  return {memory.values, bitmap_missing};
}

}  // namespace c2m::prepare

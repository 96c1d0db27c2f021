#include "companion/prepare/inventory_slot.hpp"

#include <cstring>
#include <type_traits>

#include "common/errors.hpp"

namespace c2m::prepare {

namespace {

// A source_field through a worker's slot: every member the GRIB inventory sets but the
// file, which the parent knows.
static_assert(sizeof(source_field) == 392,
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

void put(slot_writer& w, const source_field& s) {
  w.put(s.kind);
  w.put(s.used);
  w.put(s.level_hpa);
  w.put(s.soil);
  w.put(s.message);
  w.put(s.level_index);
  w.put(s.time_index);
  w.put(s.variable);
  w.put(s.origin);
  w.put(s.grid);
  w.put(s.valid_time);
  w.put(s.reference_time);
  w.put(s.member.has_value());
  w.put(s.member.value_or(0));
  w.put(s.time_span);
  w.put(s.grid_id);
  w.put(s.winds_along_grid);
}

source_field take(slot_reader& r, const std::string& path) {
  source_field s;
  s.file = path;
  r.take(s.kind);
  r.take(s.used);
  r.take(s.level_hpa);
  r.take(s.soil);
  r.take(s.message);
  r.take(s.level_index);
  r.take(s.time_index);
  r.take(s.variable);
  r.take(s.origin);
  r.take(s.grid);
  r.take(s.valid_time);
  r.take(s.reference_time);
  bool has_member = false;
  long member = 0;
  r.take(has_member);
  r.take(member);
  if (has_member) s.member = member;
  r.take(s.time_span);
  r.take(s.grid_id);
  r.take(s.winds_along_grid);
  return s;
}

}  // namespace

std::size_t put_field(const source_field& s, std::span<unsigned char> slot) {
  slot_writer w(slot);
  put(w, s);
  return w.used();
}

source_field take_field(std::span<const unsigned char> from, const std::string& path) {
  slot_reader r(from);
  source_field s = take(r, path);
  if (!r.at_end()) throw run_error("a malformed inventory entry");
  return s;
}

std::size_t put_fields(const std::vector<source_field>& fields, std::span<unsigned char> slot) {
  slot_writer w(slot);
  w.put(fields.size());
  for (const source_field& s : fields) put(w, s);
  return w.used();
}

std::vector<source_field> take_fields(std::span<const unsigned char> from,
                                      const std::string& path) {
  slot_reader r(from);
  std::size_t n = 0;
  r.take(n);
  if (n > from.size()) throw run_error("a malformed inventory");
  std::vector<source_field> fields;
  for (std::size_t k = 0; k < n; ++k) fields.push_back(take(r, path));
  if (!r.at_end()) throw run_error("a malformed inventory");
  return fields;
}

}  // namespace c2m::prepare

// The input field file: sequential records, each framed by its length in bytes as a
// 4-byte little-endian integer before and after the data. The records, in file order:
// the level count lm; ua, va, zg, hur and ta, im * jm * lm floats each from the bottom
// level up; the lm pressures (hPa, bottom first); the twelve surface fields, im * jm
// floats each. The converter reads it; conv2model-prepare and the sample kit write it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/field_slots.hpp"
#include "common/unique_fd.hpp"

namespace c2m::field_file {

// The records by number (from 1) and their names in diagnostics: the 3-D fields' are
// their slots' names.
enum class record : int { level_count = 1, uw, vw, ht, rh, tp, pressures, surface };
constexpr int record_total = 8;
static_assert(static_cast<int>(record::tp) - static_cast<int>(record::uw) + 1 == slots::count_3d);
constexpr std::string_view name_of(record r) {
  if (r == record::level_count) return "level count";
  if (r == record::pressures) return "pressures";
  if (r == record::surface) return "surface fields";
  return slots::input_3d(static_cast<int>(r) - static_cast<int>(record::level_count)).name;
}

constexpr std::size_t marker_bytes = 4;
// The longest record a length marker can state: the converter reads it as signed.
constexpr std::uint64_t longest_record = 0x7fffffff;

// One framed record, as bytes.
std::string framed(const void* data, std::size_t bytes);

// The framed record that starts at byte `at` of bytes: its data, or nothing when the
// bytes from `at` on are not a whole record with equal markers.
std::optional<std::span<const char>> record_at(std::span<const char> bytes, std::size_t at);

// The whole file's contents, in record order.
struct contents {
  std::int32_t lm = 0;
  std::span<const float> uw, vw, ht, rh, tp;
  std::span<const float> pressures;
  std::span<const float> surface;
};

// Writes framed records to a new or emptied file, each whole record with one system call.
// Diagnostics name `name` (the file the user asked for when path is a temporary).
class writer {
 public:
  writer(const std::string& path, std::string name);
  void put(const void* data, std::size_t bytes);
  void close();  // a file whose close fails has not been written

 private:
  unique_fd fd_;
  std::string name_;
};

// Writes the whole file to path, replacing it; throws run_error naming `name`.
void write(const std::string& path, const std::string& name, const contents& c);

}  // namespace c2m::field_file

// The work file's layout, shared by the converter, which writes it, and its companions,
// which read it: fixed-length records of one horizontal grid (im * jm little-endian
// floats) each; first the five 3-D fields, lm records each from the bottom level up,
// then the twelve surface fields, 5 lm + 12 records in all. The info file beside the
// work file names the fields in this order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/constants.hpp"
#include "common/field_slots.hpp"

namespace c2m::layout {

// Output names: the input file's name followed by these suffixes. The names are held in
// fields of name_field characters that must keep a blank after the longest of them, or a
// cut name could open or overwrite the wrong file.
constexpr std::string_view work_suffix = ".ORUwrk";
constexpr std::string_view info_suffix = ".gdsinfo";
constexpr std::size_t name_field = 255;
constexpr std::size_t longest_input_name =
    name_field - work_suffix.size() - info_suffix.size() - 1;  // 239

constexpr std::int32_t fields_3d = slots::count_3d;  // ua, va, zg, hus, ta
constexpr std::int32_t fields_2d = slots::count_2d;  // the surface stack slp

constexpr std::int64_t record_count(std::int64_t lm) {
  return fields_3d * lm + fields_2d;
}

// Record number, from 1, of 3-D field f (1 to 5) at level l (1 = bottom) ...
constexpr std::int64_t record_3d(std::int32_t f, std::int64_t lm, std::int64_t l) {
  return (f - 1) * lm + l;
}
// ... and of surface field k (1 to 12).
constexpr std::int64_t record_2d(std::int64_t lm, std::int32_t k) {
  return fields_3d * lm + k;
}

// The fields' names as the info file writes them, in writing order (see field_slots).
template <std::size_t N>
constexpr std::array<std::string_view, N> info_names(std::size_t first) {
  std::array<std::string_view, N> names{};
  for (std::size_t k = 0; k < N; ++k) names[k] = slots::work_file[first + k].info_name;
  return names;
}
constexpr std::array<std::string_view, fields_3d> field_names_3d = info_names<fields_3d>(0);
constexpr std::array<std::string_view, fields_2d> field_names_2d = info_names<fields_2d>(fields_3d);

}  // namespace c2m::layout

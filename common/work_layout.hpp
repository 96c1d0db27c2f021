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

namespace c2m::layout {

// Output names: the input file's name followed by these suffixes. The names are held in
// fields of name_field characters that must keep a blank after the longest of them, or a
// cut name could open or overwrite the wrong file.
constexpr std::string_view work_suffix = ".ORUwrk";
constexpr std::string_view info_suffix = ".gdsinfo";
constexpr std::size_t name_field = 255;
constexpr std::size_t longest_input_name =
    name_field - work_suffix.size() - info_suffix.size() - 1;  // 239

constexpr std::int32_t fields_3d = 5;        // uw, vw, ht, qnew2, tp
constexpr std::int32_t fields_2d = nsfcfld;  // the surface stack slp

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

// The fields' names as the info file writes them, in writing order: the format's own
// texts, padded so that the unit starts at character 27 (two blanks before "layer" in
// the soil temperatures), kept byte for byte.
constexpr std::array<std::string_view, fields_3d> field_names_3d = {
    "Zonal wind                (m/s)", "Meridional wind           (m/s)",
    "Geopotential height       (m)",   "Specific humidity         (kg/kg)",
    "Temperature               (K)",
};
constexpr std::array<std::string_view, fields_2d> field_names_2d = {
    "Land-sea mask             ( )",   "M S L Pressure            (hPa)",
    "Surface Pressure          (hPa)", "Topography                (m)",
    "Soil Temperature  layer 1 (K)",   "Soil Moisture layer 1     (0-1)",
    "Soil Temperature  layer 2 (K)",   "Soil Moisture layer 2     (0-1)",
    "Soil Temperature  layer 3 (K)",   "Soil Moisture layer 3     (0-1)",
    "Soil Temperature  layer 4 (K)",   "Soil Moisture layer 4     (0-1)",
};

// The fields' short names, in writing order, as the companions' command lines and
// listings use them.
constexpr std::array<std::string_view, fields_3d> short_names_3d = {"uw", "vw", "ht", "q", "tp"};
constexpr std::array<std::string_view, fields_2d> short_names_2d = {
    "lsm", "mslp", "psfc", "topo", "st1", "sm1", "st2", "sm2", "st3", "sm3", "st4", "sm4"};

}  // namespace c2m::layout

// The grid description integers kgds (GRIB edition 1 Grid Description Section,
// latitude/longitude grid), numbered from 1 as the format numbers them, and the flags
// among them, as the configuration gives them and the info file carries them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace c2m {

// kgds(1) .. kgds(20) by number; unset ones hold 0. The accessors name the ones this
// system sets or reads.
struct kgds_values {
  std::array<std::int32_t, 21> n{};  // n[0] is not used

  std::int32_t& operator[](std::size_t k) { return n[k]; }
  std::int32_t operator[](std::size_t k) const { return n[k]; }
  bool operator==(const kgds_values&) const = default;

  std::int32_t& representation_type() { return n[1]; }  // 0: latitude/longitude
  std::int32_t& im() { return n[2]; }                   // points along a row
  std::int32_t& jm() { return n[3]; }                   // rows
  std::int32_t& lat_first() { return n[4]; }            // millidegrees
  std::int32_t& lon_first() { return n[5]; }
  std::int32_t& resolution_flags() { return n[6]; }
  std::int32_t& lat_last() { return n[7]; }
  std::int32_t& lon_last() { return n[8]; }
  std::int32_t& di() { return n[9]; }  // increment along a row, millidegrees
  std::int32_t& dj() { return n[10]; }
  std::int32_t& scanning_mode() { return n[11]; }
  std::int32_t& extra_lists() { return n[20]; }

  std::int32_t representation_type() const { return n[1]; }
  std::int32_t im() const { return n[2]; }
  std::int32_t jm() const { return n[3]; }
  std::int32_t lat_first() const { return n[4]; }
  std::int32_t lon_first() const { return n[5]; }
  std::int32_t resolution_flags() const { return n[6]; }
  std::int32_t lat_last() const { return n[7]; }
  std::int32_t lon_last() const { return n[8]; }
  std::int32_t di() const { return n[9]; }
  std::int32_t dj() const { return n[10]; }
  std::int32_t scanning_mode() const { return n[11]; }
  std::int32_t extra_lists() const { return n[20]; }
};

namespace kgds_flags {

// kgds(6), resolution and component flags.
constexpr std::int32_t increments_given = 128;  // direction increments are given

// kgds(11), scanning mode.
constexpr std::int32_t i_negative = 128;    // points run east to west along a row
constexpr std::int32_t j_positive = 64;     // rows run south to north
constexpr std::int32_t j_consecutive = 32;  // j varies fastest

// kgds(20): no list of vertical coordinate parameters or of points per row.
constexpr std::int32_t no_extra_lists = 255;

}  // namespace kgds_flags

}  // namespace c2m

// Byte order of the files: input records, their length markers and work-file records
// are little-endian, whatever the machine.
#pragma once

#include <bit>
#include <cstdint>
#include <span>

namespace c2m {

constexpr std::uint32_t byte_swap(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
}

// The 32-bit value of four bytes stored little-endian.
constexpr std::uint32_t load_le32(const unsigned char* b) {
  return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
         std::uint32_t{b[3]} << 24;
}

// Floats read as stored little-endian into their native values (nothing to do on a
// little-endian machine).
inline void floats_from_little_endian(std::span<float> values) {
  if constexpr (std::endian::native == std::endian::big)
    for (float& v : values) v = std::bit_cast<float>(byte_swap(std::bit_cast<std::uint32_t>(v)));
}

}  // namespace c2m

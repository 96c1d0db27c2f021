// Writes sequential binary records as the converter reads them: a 4-byte little-endian
// length before and after the data. Used by the sample generator and by the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace c2m::sample {

// One framed record, as bytes.
std::string frame(const void* data, std::size_t bytes);
std::string frame(std::span<const float> values);
std::string frame_int(std::int32_t value);

// Appends one framed record to an open file; throws std::runtime_error on failure.
void write_record(std::FILE* out, const void* data, std::size_t bytes);

// Writes bytes to path, replacing the file.
void write_file(const std::string& path, const std::string& bytes);

}  // namespace c2m::sample

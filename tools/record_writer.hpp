// Framed records and whole files as bytes, for the tests and the sample generator; the
// framing is the input field file's own (common/field_file.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace c2m::sample {

// One framed record, as bytes.
std::string frame(const void* data, std::size_t bytes);
std::string frame(std::span<const float> values);
std::string frame_int(std::int32_t value);

// Writes bytes to path, replacing the file; throws run_error.
void write_file(const std::string& path, const std::string& bytes);

}  // namespace c2m::sample

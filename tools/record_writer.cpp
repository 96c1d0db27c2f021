#include "tools/record_writer.hpp"

#include "common/field_file.hpp"
#include "common/file_io.hpp"

namespace c2m::sample {

std::string frame(const void* data, std::size_t bytes) {
  return field_file::framed(data, bytes);
}

std::string frame(std::span<const float> values) {
  return frame(values.data(), values.size_bytes());
}

std::string frame_int(std::int32_t value) {
  return frame(&value, sizeof value);
}

void write_file(const std::string& path, const std::string& bytes) {
  write_new_file(path, path, bytes);
}

}  // namespace c2m::sample

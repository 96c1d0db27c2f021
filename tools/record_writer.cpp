#include "tools/record_writer.hpp"

#include <stdexcept>

namespace c2m::sample {

namespace {

std::string marker(std::size_t bytes) {
  const auto v = static_cast<std::uint32_t>(bytes);
  std::string m(4, '\0');
  for (int k = 0; k < 4; ++k)
    m[static_cast<std::size_t>(k)] = static_cast<char>((v >> (8 * k)) & 0xff);
  return m;
}

void put(std::FILE* out, const void* data, std::size_t bytes) {
  if (bytes != 0 && std::fwrite(data, 1, bytes, out) != bytes)
    throw std::runtime_error("cannot write sample record");
}

}  // namespace

std::string frame(const void* data, std::size_t bytes) {
  std::string r = marker(bytes);
  r.append(static_cast<const char*>(data), bytes);
  r += marker(bytes);
  return r;
}

std::string frame(std::span<const float> values) {
  return frame(values.data(), values.size() * sizeof(float));
}

std::string frame_int(std::int32_t value) {
  return frame(&value, sizeof value);
}

void write_record(std::FILE* out, const void* data, std::size_t bytes) {
  const std::string m = marker(bytes);
  put(out, m.data(), 4);
  put(out, data, bytes);
  put(out, m.data(), 4);
}

void write_file(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + path);
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
}

}  // namespace c2m::sample

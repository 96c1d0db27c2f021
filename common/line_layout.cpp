#include "common/line_layout.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace c2m {

namespace {

std::string right_justify(std::string_view s, std::size_t width) {
  std::string out;
  if (s.size() < width) out.assign(width - s.size(), ' ');
  out.append(s);
  return out;
}

// Decimal exponent of |value| once it is rounded to 9 significant digits.
int decimal_exponent(float value) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 8);
  const char* e = buf;
  while (e < r.ptr && *e != 'e') ++e;
  if (e + 1 < r.ptr && e[1] == '+') ++e;  // from_chars takes a minus sign only
  int exponent = 0;
  std::from_chars(e + 1, r.ptr, exponent);
  return exponent;
}

}  // namespace

std::string format_int(std::int32_t value) {
  char buf[16];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return right_justify(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), 11);
}

std::string format_float(float value) {
  if (std::isnan(value)) return right_justify("NaN", 16);
  if (std::isinf(value)) return right_justify(value < 0 ? "-Infinity" : "Infinity", 16);

  char buf[64];
  const float a = std::fabs(value);
  if (a == 0.0f || (a >= 0.1f && a < 1e9f)) {
    const int decimals = a == 0.0f ? 8 : 8 - decimal_exponent(value);
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    std::string s(buf, r.ptr);
    if (decimals == 0) s += '.';  // 1e8 <= |x| < 1e9 keeps a bare decimal point
    return right_justify(s, 12) + "    ";
  }
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 8);
  std::string s(buf, r.ptr);
  for (char& c : s)
    if (c == 'e') c = 'E';
  return right_justify(s, 16);
}

std::string format_line(std::span<const item> items) {
  std::string line;
  bool first = true;
  bool after_number = false;
  for (const item& it : items) {
    const bool is_text = std::holds_alternative<std::string_view>(it);
    if (first || !is_text || after_number) line += ' ';
    if (is_text) {
      line += std::get<std::string_view>(it);
    } else if (std::holds_alternative<std::int32_t>(it)) {
      line += format_int(std::get<std::int32_t>(it));
    } else {
      line += format_float(std::get<float>(it));
    }
    first = false;
    after_number = !is_text;
  }
  line += '\n';
  return line;
}

void log_line(std::span<const item> items) {
  const std::string line = format_line(items);
  std::fwrite(line.data(), 1, line.size(), stdout);
}

}  // namespace c2m

#include "common/grid_config_file.hpp"

#include <cstdio>

#include "common/file_io.hpp"

namespace c2m::grid_config_file {

namespace {

std::string pressure_text(double hpa, style s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, s == style::plain ? "%g" : "%.1f", hpa);
  return buf;
}

std::string comment(style s, std::string_view text) {
  return s == style::plain ? "\n" : "   ! " + std::string(text) + "\n";
}

}  // namespace

std::string text(const contents& c, style s) {
  std::string t = (s == style::plain ? c.title.substr(0, title_length) : c.title) + "\n";
  t += std::to_string(c.im) + " " + std::to_string(c.jm) + " " + std::to_string(c.lm) +
       comment(s, "im jm lm");
  for (const kgds_line& k : kgds_lines) t += std::to_string(c.kgds[k.n]) + comment(s, k.comment);
  for (const double p : c.levels) t += pressure_text(p, s) + "\n";
  return t;
}

void write(const std::string& path, const std::string& shown, const contents& c, style s) {
  write_new_file(path, shown, text(c, s));
}

}  // namespace c2m::grid_config_file

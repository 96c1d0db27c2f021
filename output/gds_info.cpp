#include <fcntl.h>
#include <unistd.h>

#include <array>

#include "common/errors.hpp"
#include "common/line_layout.hpp"
#include "output/output.hpp"

namespace c2m {

namespace {

constexpr std::array<const char*, 5> names_3d = {
    "Zonal wind                (m/s)", "Meridional wind           (m/s)",
    "Geopotential height       (m)",   "Specific humidity         (kg/kg)",
    "Temperature               (K)",
};

constexpr std::array<const char*, 12> names_2d = {
    "Land-sea mask             ( )",   "M S L Pressure            (hPa)",
    "Surface Pressure          (hPa)", "Topography                (m)",
    "Soil Temperature  layer 1 (K)",   "Soil Moisture layer 1     (0-1)",
    "Soil Temperature  layer 2 (K)",   "Soil Moisture layer 2     (0-1)",
    "Soil Temperature  layer 3 (K)",   "Soil Moisture layer 3     (0-1)",
    "Soil Temperature  layer 4 (K)",   "Soil Moisture layer 4     (0-1)",
};

std::string info_name(const run_state& run) {
  std::string field = run.work_name + ".gdsinfo";
  field.resize(255, ' ');
  return field.substr(0, field.find(' '));
}

}  // namespace

std::string gds_info_text(const run_state& run) {
  std::string t = format_line({run.lm, " => Number of Levels"});
  t += format_line({"Pressure in Pa"});
  for (std::int32_t l = run.lm; l >= 1; --l)
    t += format_line({run.pr[static_cast<std::size_t>(l - 1)] * 100.0f});
  for (std::int32_t n = 1; n <= 11; ++n)
    t += format_line({run.kgds[static_cast<std::size_t>(n)], "kgds(" + std::to_string(n) + ")"});
  t += format_line({run.kgds[20], "kgds(12)"});
  t += format_line({});
  t += format_line({"Fields names and writing order"});
  t += format_line({});
  t += format_line({"        3D "});
  t += format_line({"first written record: botton of the atmosphere"});
  for (const char* name : names_3d) t += format_line({name});
  t += format_line({});
  t += format_line({"        2D"});
  for (const char* name : names_2d) t += format_line({name});
  return t;
}

void write_gds_info(run_state& run) {
  const std::string name = info_name(run);
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw run_error(os_error(name, "cannot create grid description info file"));

  log_line({"calling get_fullgds with ", std::string_view(run.input_name)});
  run.kgds[2] = run.im;
  run.kgds[3] = run.jm;
  run.kgds[6] = 128;
  run.kgds[11] = 64;
  run.kgds[20] = 255;
  log_line({"back from get_fullgds"});
  std::vector<item> line{std::string_view("writing kgds ")};
  for (std::size_t n = 1; n <= 14; ++n) line.emplace_back(run.kgds[n]);
  log_line(line);
  log_line({"GDS written to ", std::string_view(name)});

  const std::string text = gds_info_text(run);
  try {
    write_at(fd, name, text.data(), text.size(), 0);
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0) throw run_error(os_error(name, "cannot close grid description info file"));
}

}  // namespace c2m

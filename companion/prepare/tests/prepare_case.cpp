#include "companion/prepare/tests/prepare_case.hpp"

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "driver/input_file.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::test {

shell_result shell(const std::string& dir, const std::string& command) {
  // The captures live apart from dir, so that listing dir shows only what ran there.
  static const scratch_dir captures;
  const std::string out = captures / "out", err = captures / "err";
  const std::string full =
      "cd '" + dir + "' && ( " + command + " ) < /dev/null > '" + out + "' 2> '" + err + "'";
  const int raw = std::system(full.c_str());
  shell_result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = read_file(out);
  r.err = read_file(err);
  std::remove(out.c_str());
  std::remove(err.c_str());
  return r;
}

shell_result prepare(const std::string& dir, const std::string& args) {
  return shell(dir, std::string("'") + PREPARE_BIN + "' " + args);
}

std::string quoted(const std::string& path) {
  std::string q = "'";
  q += path;
  q += "'";
  return q;
}

std::string data_file(const std::string& name) {
  return std::string(PREPARE_DATA_DIR) + "/" + name;
}

std::string gfs_grib2() {
  return data_file("gfs.t12z.pgrbf120.2p5deg.grib2");
}

input_fields read_input(const std::string& path, std::int32_t im, std::int32_t jm,
                        std::int32_t lm) {
  input_fields f;
  const std::size_t n = static_cast<std::size_t>(im) * static_cast<std::size_t>(jm);
  record_reader in = open_records(path);
  read_record(in, &f.lm, sizeof f.lm, "level count");
  for (auto& g : f.upper) {
    g.resize(n * static_cast<std::size_t>(lm));
    read_record(in, g.data(), g.size() * sizeof(float), "3-D field");
  }
  f.pr.resize(static_cast<std::size_t>(lm));
  read_record(in, f.pr.data(), f.pr.size() * sizeof(float), "pressures");
  f.slp.resize(n * 12);
  read_record(in, f.slp.data(), f.slp.size() * sizeof(float), "surface fields");
  if (in.offset != in.size) throw std::runtime_error(path + ": data after the surface fields");
  return f;
}

point_values grib_points(const std::string& file, const std::string& where) {
  scratch_dir tmp;
  const shell_result r =
      shell(tmp.path(), "grib_get_data -m MISSING -F %.12e -w '" + where + "' '" + file + "'");
  if (r.status != 0) throw std::runtime_error("grib_get_data failed: " + r.err);
  point_values points;
  std::istringstream in(r.out);
  std::string line;
  int headers = 0;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string lat, lon, value;
    if (!(words >> lat >> lon >> value)) continue;
    if (lat == "Latitude") {
      ++headers;
      continue;
    }
    const auto key =
        std::make_pair(std::llround(std::stod(lat) * 1000), std::llround(std::stod(lon) * 1000));
    points[key] = value == "MISSING" ? std::nan("") : std::stod(value);
  }
  if (headers != 1)
    throw std::runtime_error(where + " selects " + std::to_string(headers) + " fields");
  return points;
}

}  // namespace c2m::test

#include "tools/sample_analysis.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "common/field_file.hpp"
#include "common/grid_config_file.hpp"

namespace c2m::sample {

namespace {

constexpr float fill = 9.999e20f;
constexpr double pi = 3.14159265358979323846;

// Pressure levels from 1000 hPa upwards: an even pick of the 26 standard levels of a
// global analysis, or levels evenly spaced in log pressure down to 10 hPa for more.
std::vector<float> levels(std::int32_t lm) {
  static const float standard[] = {1000, 975, 950, 925, 900, 850, 800, 750, 700, 650, 600, 550, 500,
                                   450,  400, 350, 300, 250, 200, 150, 100, 70,  50,  30,  20,  10};
  constexpr std::int32_t count = 26;
  std::vector<float> pr(static_cast<std::size_t>(lm));
  for (std::int32_t l = 0; l < lm; ++l) {
    const double f = lm == 1 ? 0.0 : static_cast<double>(l) / (lm - 1);
    pr[static_cast<std::size_t>(l)] =
        lm <= count ? standard[std::lround(f * (count - 1))]
                    : static_cast<float>(std::round(1000.0 * std::pow(0.01, f)));
  }
  return pr;
}

// International standard atmosphere: temperature (K) and height (m) at pressure p (hPa).
void standard_atmosphere(double p, double& t, double& z) {
  const double z_tropo = 11000.0, t_tropo = 216.65, p_tropo = 226.32;
  if (p >= p_tropo) {
    t = 288.15 * std::pow(p / 1013.25, 0.190263);
    z = (288.15 - t) / 0.0065;
  } else {
    t = t_tropo;
    z = z_tropo + 6341.6 * std::log(p_tropo / p);
  }
}

}  // namespace

analysis make_sample(std::int32_t im, std::int32_t jm, std::int32_t lm,
                     const sample_options& options) {
  analysis a;
  a.im = im;
  a.jm = jm;
  a.lm = lm;
  a.pr = levels(lm);
  const std::size_t n2 = static_cast<std::size_t>(im) * static_cast<std::size_t>(jm);
  const std::size_t n3 = n2 * static_cast<std::size_t>(lm);
  for (auto* v : {&a.uw, &a.vw, &a.ht, &a.rh, &a.tp}) v->resize(n3);
  a.slp.resize(n2 * 12);

  // Grid geometry in degrees.
  const double dlon = options.global ? 360.0 / im : 0.25;
  const double dlat = options.global ? (jm > 1 ? 180.0 / (jm - 1) : 0.0) : 0.25;
  const double lon0 = options.global ? 0.0 : -10.0;
  const double lat0 = options.global ? -90.0 : 35.0;
  a.kgds.representation_type() = 0;
  a.kgds.lat_first() = static_cast<std::int32_t>(std::lround(lat0 * 1000));
  a.kgds.lon_first() = static_cast<std::int32_t>(std::lround(lon0 * 1000));
  a.kgds.lat_last() = static_cast<std::int32_t>(std::lround((lat0 + dlat * (jm - 1)) * 1000));
  a.kgds.lon_last() = static_cast<std::int32_t>(std::lround((lon0 + dlon * (im - 1)) * 1000));
  a.kgds.di() = static_cast<std::int32_t>(std::lround(dlon * 1000));
  a.kgds.dj() = static_cast<std::int32_t>(std::lround(dlat * 1000));

  const double phase = options.hour * pi / 24.0;
  for (std::int32_t j = 0; j < jm; ++j) {
    const double lat = (lat0 + dlat * j) * pi / 180.0;
    for (std::int32_t i = 0; i < im; ++i) {
      const double lon = (lon0 + dlon * i) * pi / 180.0;
      const std::size_t p2 =
          static_cast<std::size_t>(j) * static_cast<std::size_t>(im) + static_cast<std::size_t>(i);
      const double wave = std::sin(3.0 * lon + phase) * std::cos(2.0 * lat);
      const double warm = 25.0 * std::cos(lat) - 12.0;

      for (std::int32_t l = 0; l < lm; ++l) {
        const std::size_t p3 = p2 + n2 * static_cast<std::size_t>(l);
        double t, z;
        standard_atmosphere(a.pr[static_cast<std::size_t>(l)], t, z);
        const double up = static_cast<double>(l) / (lm > 1 ? lm - 1 : 1);
        a.tp[p3] = static_cast<float>(t + warm * (1.0 - up) + 2.0 * wave);
        a.ht[p3] = static_cast<float>(z + 80.0 * wave + 40.0 * std::cos(lat));
        a.uw[p3] = static_cast<float>((8.0 + 30.0 * up) * std::cos(2.0 * lat) + 3.0 * wave);
        a.vw[p3] = static_cast<float>(6.0 * std::sin(2.0 * lon) * std::cos(lat));
        a.rh[p3] = static_cast<float>(std::clamp(85.0 - 65.0 * up + 12.0 * wave, 2.0, 100.0));
      }

      // Continents laid out on the grid itself, so that every window, regional or
      // global, holds both land and sea.
      const double x = static_cast<double>(i) / im, y = static_cast<double>(j) / jm;
      const double relief = std::sin(2.0 * pi * 1.3 * x + 0.5) + 0.6 * std::cos(2.0 * pi * y);
      const bool land = relief > 0.3;
      const double topo = land ? 1200.0 * (relief - 0.3) : 0.0;
      const double mslp = 1013.0 + 12.0 * std::sin(lat) * std::cos(lon);
      const double tsoil = 288.15 + warm;
      float* s = a.slp.data() + p2;
      auto put = [&](int k, double v) {
        s[n2 * static_cast<std::size_t>(k - 1)] = static_cast<float>(v);
      };
      put(1, land ? 1.0 : 0.0);
      put(2, mslp);
      put(3, mslp * std::exp(-topo / 8400.0));
      put(4, topo);
      for (int layer = 0; layer < 4; ++layer) {
        const double moisture = 0.25 + 0.4 * std::fabs(std::sin(5.0 * lon + layer)) * std::cos(lat);
        put(5 + 2 * layer, land ? tsoil - 3.0 * layer : fill);
        put(6 + 2 * layer, land ? moisture : fill);
      }
    }
  }
  for (int l = lm - options.missing_rh_top; l < lm; ++l)
    if (l >= 1)
      std::fill(a.rh.begin() + static_cast<std::ptrdiff_t>(n2 * static_cast<std::size_t>(l)),
                a.rh.begin() + static_cast<std::ptrdiff_t>(n2 * static_cast<std::size_t>(l + 1)),
                fill);
  const int l = options.missing_ht_level;
  if (l >= 1 && l <= lm)
    std::fill(a.ht.begin() + static_cast<std::ptrdiff_t>(n2 * static_cast<std::size_t>(l - 1)),
              a.ht.begin() + static_cast<std::ptrdiff_t>(n2 * static_cast<std::size_t>(l)), fill);
  return a;
}

void write_input_file(const std::string& path, const analysis& a, bool cut_short) {
  field_file::write(path, path, {a.lm, a.uw, a.vw, a.ht, a.rh, a.tp, a.pr, a.slp});
  if (cut_short) {
    // The level-count record takes 12 bytes; keep the uw record's leading marker and half
    // of its data.
    const std::uintmax_t keep = 12 + 4 + a.uw.size() * sizeof(float) / 2;
    std::error_code error;
    std::filesystem::resize_file(path, keep, error);
    if (error) throw std::runtime_error("cannot cut " + path + ": " + error.message());
  }
}

std::string grid_config_text(const analysis& a, const std::string& title) {
  const std::vector<double> levels(a.pr.begin(), a.pr.end());
  return grid_config_file::text({title, a.im, a.jm, a.lm, a.kgds, levels},
                                grid_config_file::style::annotated);
}

}  // namespace c2m::sample

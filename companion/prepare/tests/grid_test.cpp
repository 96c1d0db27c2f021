// conv2model-prepare --grid on real grids: NCEP's Eta on its Lambert grid against CDO's
// interpolation with the winds turned by the cone factor, a rotated grid made by CDO from
// the GFS file against CDO's own interpolation back, the soil along the coasts of Europe
// against the bilinear formula over the points with data, and the command lines and
// grids refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>

#include "companion/prepare/tests/prepare_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::test {
namespace {

constexpr double pi = 3.14159265358979323846;

// The files every case reads, made once: the GFS fields with and without their land-sea
// mask, the mask alone, and the Eta interpolated by CDO onto the quarter-degree window
// from 110 W, 30 N with its winds turned from the Lambert axes to east and north (the
// recipe users followed before --grid: LoV 265 and CDO's clon, 250 to 280 here, in one
// convention).
class prepare_grid : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<scratch_dir>();
    write_text(*dir_ / "us.txt",
               "gridtype = lonlat\nxsize = 121\nysize = 61\nxfirst = -110\nxinc = 0.25\n"
               "yfirst = 30\nyinc = 0.25\n");
    const std::string turn = "_a=sin(25*0.017453292519943295)*(clon(u)-265)*0.017453292519943295";
    const shell_result r =
        shell(dir_->path(),
              "grib_copy -w typeOfLevel=isobaricInhPa/surface/meanSea/depthBelowLandLayer " +
                  quoted(gfs_grib2()) + " f120.grib2 && grib_copy -w shortName=lsm f120.grib2 " +
                  "lsm.grib2 && grib_copy -w shortName!=lsm f120.grib2 nolsm.grib2 && " +
                  "grib_copy -w typeOfLevel=isobaricInhPa/surface/meanSea " +
                  quoted(data_file("eta.grb")) +
                  " split.grb && cdo -s remapbil,us.txt split.grb ll.grb && cdo -s -expr,'" + turn +
                  ";u=cos(_a)*u+sin(_a)*v' ll.grb u.grb && cdo -s -expr,'" + turn +
                  ";v=cos(_a)*v-sin(_a)*u' ll.grb v.grb && cdo -s delname,u,v ll.grb rest.grb");
    if (r.status != 0) failure_ = "the files cannot be made: " + r.err;
  }
  static void TearDownTestSuite() { dir_.reset(); }
  // A failure while the suite is set up fails every test (GoogleTest would skip them).
  void SetUp() override {
    if (!failure_.empty()) FAIL() << failure_;
  }
  static std::string in(const std::string& name) { return quoted(*dir_ / name); }

  static std::unique_ptr<scratch_dir> dir_;
  static std::string failure_;
};

std::unique_ptr<scratch_dir> prepare_grid::dir_;
std::string prepare_grid::failure_;

const char* const upper_names[] = {"u", "v", "gh", "r", "t"};

std::string level_where(std::size_t f, int level) {
  return std::string("shortName=") + upper_names[f] +
         ",typeOfLevel=isobaricInhPa,level=" + std::to_string(level);
}

// Eta's 19 levels, 1000 to 100 hPa by 50, against the recipe at every point but the
// window's outermost two rows and columns: bilinear in the Lambert plane (ours) and in
// latitude and longitude (CDO's) part by far less than the bounds, and a wind left along
// the grid's axes would miss them by metres per second.
TEST_F(prepare_grid, the_eta_lambert_grid_matches_cdo_with_its_winds_turned) {
  scratch_dir dir;
  const shell_result r = prepare(
      dir.path(), "--grid 0.25 --area 45/-110/30/-80 --allow-holes " + std::string("-o eta.bin ") +
                      quoted(data_file("eta.grb")) + " " + in("lsm.grib2"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(read_file(dir / "InputModelInf.txt")
                .find("2004-12-09T12:00Z\n121 61 19\n0\n30000\n-110000\n45000\n-80000\n250\n250\n"),
            std::string::npos)
      << read_file(dir / "InputModelInf.txt");
  const std::size_t im = 121, jm = 61, n = im * jm;
  const input_fields f = read_input(dir / "eta.bin", 121, 61, 19);
  const double bound[] = {0.8, 0.8, 3.0, 2.0, 0.4};  // m/s, m/s, m, %, K
  double unturned = 0;
  for (std::size_t l = 0; l < 19; ++l) {
    const int level = 1000 - 50 * int(l);
    for (std::size_t k = 0; k < 5; ++k) {
      const std::string file = k == 0 ? "u.grb" : k == 1 ? "v.grb" : "rest.grb";
      const point_values want = grib_points(*dir_ / file, level_where(k, level));
      const point_values along =
          k == 0 ? grib_points(*dir_ / "ll.grb", level_where(0, level)) : point_values{};
      double most = 0;
      for (std::size_t j = 2; j + 2 < jm; ++j)
        for (std::size_t i = 2; i + 2 < im; ++i) {
          const std::pair<std::int64_t, std::int64_t> at{30000 + 250 * std::int64_t(j),
                                                         250000 + 250 * std::int64_t(i)};
          const double have = f.upper[k][l * n + j * im + i];
          most = std::max(most, std::fabs(have - want.at(at)));
          if (k == 0) unturned = std::max(unturned, std::fabs(along.at(at) - want.at(at)));
        }
      EXPECT_LE(most, bound[k]) << upper_names[k] << " " << level << " hPa";
    }
  }
  EXPECT_GT(unturned, 1.1);
  EXPECT_EQ(f.slp[0], 1.0f);  // 30 N 110 W: land, from the GFS mask on its own grid
}

// CDO puts the GFS fields on the rotated grid of rotated_ll.grib1 (southern pole at 40 S
// 10 E, winds towards east and north, as CDO marks them); --grid brings them back onto
// half a degree over Europe, CDO's remapbil onto the same grid from the same file.
TEST_F(prepare_grid, a_rotated_grid_matches_cdo_remapbil_back) {
  scratch_dir dir;
  write_text(dir / "eu.txt",
             "gridtype = lonlat\nxsize = 41\nysize = 21\nxfirst = 0\nxinc = 0.5\n"
             "yfirst = 50\nyinc = 0.5\n");
  const shell_result made =
      shell(dir.path(),
            "cdo -s remapbil," + quoted(std::string(REGRID_DATA_DIR) + "/rotated_ll.grib1") + " " +
                in("f120.grib2") + " rot.grb && cdo -s remapbil,eu.txt rot.grb cdo.grb");
  ASSERT_EQ(made.status, 0) << made.err;
  const shell_result r =
      prepare(dir.path(), "--grid 0.5 --area 60/0/50/20 --allow-holes -o rot.bin rot.grb");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::size_t n = 41 * 21;
  const input_fields f = read_input(dir / "rot.bin", 41, 21, 25);
  const int levels[] = {1000, 850, 500, 250, 100};
  const std::size_t at_level[] = {0, 5, 12, 17, 20};    // 1000 975 950 925 900 850 ...
  const double bound[] = {0.05, 0.05, 0.5, 0.5, 0.05};  // m/s, m/s, m, %, K
  for (std::size_t q = 0; q < 5; ++q) {
    EXPECT_EQ(f.pr[at_level[q]], float(levels[q]));
    for (std::size_t k = 0; k < 5; ++k) {
      const point_values want = grib_points(dir / "cdo.grb", level_where(k, levels[q]));
      double most = 0;
      for (std::size_t p = 0; p < n; ++p) {
        const std::pair<std::int64_t, std::int64_t> at{50000 + 500 * std::int64_t(p / 41),
                                                       500 * std::int64_t(p % 41)};
        most = std::max(most, std::fabs(f.upper[k][at_level[q] * n + p] - want.at(at)));
      }
      EXPECT_LE(most, bound[k]) << upper_names[k] << " " << levels[q] << " hPa";
    }
  }
  const point_values msl = grib_points(dir / "cdo.grb", "shortName=prmsl");
  double most = 0;
  for (std::size_t p = 0; p < n; ++p)
    most = std::max(
        most, std::fabs(100.0 * f.slp[n + p] -
                        msl.at({50000 + 500 * std::int64_t(p / 41), 500 * std::int64_t(p % 41)})));
  EXPECT_LE(most, 5.0);  // Pa; written in hPa
}

// Half a degree over the coasts of Europe from the 2.5-degree GFS soil, whose points
// over sea hold no data, with the land-sea mask of another model on another grid (CDO's
// nearest point on half a degree, moved 1.5 degrees east so that coasts disagree). A land point
// takes the points of its cell that hold data, by their bilinear weights scaled to sum to 1; one
// whose cell has none takes the nearest point with data, counted on standard error. A land point
// far from any soil is refused, named, unless --allow-holes.
TEST_F(prepare_grid, coastal_soil_comes_from_land_points_only) {
  scratch_dir dir;
  const shell_result made =
      shell(dir.path(), "cdo -s remapnn,r720x361 " + in("lsm.grib2") +
                            " half.grb && cdo -s shiftx,3,cyclic half.grb moved.grb "
                            "&& cdo -s setrtoc,-1,2,1 half.grb all_land.grb");
  ASSERT_EQ(made.status, 0) << made.err;
  const shell_result r = prepare(dir.path(), "--grid 0.5 --area 60/-10/35/30 -o coast.bin " +
                                                 in("nolsm.grib2") + " moved.grb");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::size_t im = 81, jm = 51, n = im * jm;
  const input_fields f = read_input(dir / "coast.bin", 81, 51, 25);
  const char* const soil[] = {
      "shortName=t,typeOfLevel=depthBelowLandLayer,scaledValueOfSecondFixedSurface=10",
      "shortName=soilw,typeOfLevel=depthBelowLandLayer,scaledValueOfSecondFixedSurface=10"};
  std::size_t land = 0, from_nearest = 0;
  for (std::size_t s = 0; s < 2; ++s) {
    const point_values src = grib_points(*dir_ / "nolsm.grib2", soil[s]);
    const auto value = [&](std::int64_t j, std::int64_t i) {
      return src.at({j * 2500, ((i % 144 + 144) % 144) * 2500});
    };
    land = from_nearest = 0;
    for (std::size_t p = 0; p < n; ++p) {
      if (f.slp[p] != 1.0f) continue;
      ++land;
      const double lat = 35 + 0.5 * double(p / im), lon = -10 + 0.5 * double(p % im);
      const double x = (lon < 0 ? lon + 360 : lon) / 2.5, y = lat / 2.5;
      const auto i0 = std::int64_t(std::floor(x)), j0 = std::int64_t(std::floor(y));
      const double ti = x - double(i0), tj = y - double(j0);
      double sum = 0, total = 0;
      for (const auto& [dj, di, w] :
           {std::tuple{0, 0, (1 - ti) * (1 - tj)}, std::tuple{0, 1, ti * (1 - tj)},
            std::tuple{1, 0, (1 - ti) * tj}, std::tuple{1, 1, ti * tj}}) {
        const double v = value(j0 + dj, i0 + di);
        if (w > 0 && !std::isnan(v)) {
          sum += w * v;
          total += w;
        }
      }
      double want = total > 0 ? sum / total : std::nan("");
      if (total == 0) {
        ++from_nearest;
        double best = 1e9;
        for (const auto& [at, v] : src) {
          if (std::isnan(v)) continue;
          const double a = double(at.first) / 1000 * pi / 180,
                       b = double(at.second) / 1000 * pi / 180;
          const double d = std::acos(
              std::clamp(std::sin(lat * pi / 180) * std::sin(a) +
                             std::cos(lat * pi / 180) * std::cos(a) * std::cos(lon * pi / 180 - b),
                         -1.0, 1.0));
          // Points at the same distance (both ends of a meridian's gap) may either serve.
          const float had = f.slp[(4 + s) * n + p];
          if (d < best - 1e-9 || (d <= best + 1e-9 && std::fabs(had - v) < std::fabs(had - want))) {
            best = std::min(best, d);
            want = v;
          }
        }
      }
      const float have = f.slp[(4 + s) * n + p];
      EXPECT_NEAR(have, want, 1e-4 * std::fabs(want)) << soil[s] << " at " << lat << " " << lon;
    }
  }
  EXPECT_GT(land, 500u);
  EXPECT_GT(from_nearest, 0u);
  // std::regex is not used here: GCC 12 warns inside it with the sanitizers on.
  EXPECT_NE(r.err.find("0-0.1 m below ground): mrsov1: " + std::to_string(from_nearest) +
                       " land points whose"),
            std::string::npos)
      << r.err;

  // A series says the count for each time it writes, held or interpolated, also where a
  // field read for one time serves the next.
  ASSERT_EQ(shell(dir.path(), "grib_set -s forecastTime=126 " + in("nolsm.grib2") +
                                  " later.grib2 && grib_set -s forecastTime=126 moved.grb "
                                  "moved_later.grb")
                .status,
            0);
  const shell_result series =
      prepare(dir.path(),
              "--grid 0.5 --area 60/-10/35/30 --each-time --interval 3h -o "
              "'c_%H.bin' " +
                  in("nolsm.grib2") + " later.grib2 moved.grb moved_later.grb");
  ASSERT_EQ(series.status, 0) << series.err;
  const std::string said = "mrsov1: " + std::to_string(from_nearest) + " land points whose";
  std::size_t times_said = 0;
  for (std::size_t at = series.err.find(said); at != std::string::npos;
       at = series.err.find(said, at + 1))
    ++times_said;
  EXPECT_EQ(times_said, 3u) << series.err;

  // Everything land: the open Atlantic has no soil within reach.
  const shell_result holes = prepare(dir.path(), "--grid 0.5 --area 45/-40/35/-30 -o sea.bin " +
                                                     in("nolsm.grib2") + " all_land.grb");
  EXPECT_EQ(holes.status, 1);
  EXPECT_NE(holes.err.find("points without data over land, the first at 35 N -40 E"),
            std::string::npos)
      << holes.err;
  EXPECT_FALSE(file_exists(dir / "sea.bin"));
  const shell_result allowed =
      prepare(dir.path(), "--grid 0.5 --area 45/-40/35/-30 --allow-holes -o sea.bin " +
                              in("nolsm.grib2") + " all_land.grb");
  EXPECT_EQ(allowed.status, 0) << allowed.err;
}

// Command lines that do not fit are usage errors (64) before anything is read; an area
// beyond the source, a spacing with too many points and grids without located points
// are refused, each named.
// --grid with --interval: each held time is carried onto the target, then a time between
// is interpolated there. The Eta again 3 hours later (stepRange 27) with its temperatures
// 3 K warmer (grib_set offsetValuesBy): 13 UTC must be 2/3 of 12 UTC and 1/3 of 15 UTC at
// every point, its temperatures 1 K above 12 UTC's (the weights of a point sum to 1), and
// 15 UTC as the later file alone gives it.
TEST_F(prepare_grid, a_series_on_another_grid_is_interpolated_in_time_on_the_target) {
  scratch_dir dir;
  const std::string eta = quoted(data_file("eta.grb"));
  ASSERT_EQ(shell(dir.path(), "grib_set -s stepRange=27 " + eta +
                                  " later.grb && grib_set -w shortName=t -s offsetValuesBy=3 "
                                  "later.grb warmer.grb")
                .status,
            0);
  const std::string grid = "--grid 0.25 --area 45/-110/30/-80 --allow-holes ";
  const shell_result r = prepare(dir.path(), grid + "--each-time --interval 1h -o 'eta_%H.bin' " +
                                                 eta + " warmer.grb " + in("lsm.grib2"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("wrote eta_13.bin: 121 x 61 points, 19 levels from 1000 to 100 hPa, valid "
                       "at 2004-12-09T13:00Z, interpolated between 2004-12-09T12:00Z and "
                       "2004-12-09T15:00Z\n"),
            std::string::npos)
      << r.out;
  const shell_result alone =
      prepare(dir.path(), grid + "-o alone.bin warmer.grb " + in("lsm.grib2"));
  ASSERT_EQ(alone.status, 0) << alone.err;
  EXPECT_TRUE(read_file(dir / "alone.bin") == read_file(dir / "eta_15.bin"))
      << "15 UTC is not what the later file alone gives";
  const input_fields a = read_input(dir / "eta_12.bin", 121, 61, 19);
  const input_fields between = read_input(dir / "eta_13.bin", 121, 61, 19);
  const input_fields b = read_input(dir / "eta_15.bin", 121, 61, 19);
  int off = 0, warmed = 0;
  for (std::size_t f = 0; f < 5; ++f)
    for (std::size_t p = 0; p < a.upper[f].size(); ++p) {
      const double want = 2.0 / 3.0 * a.upper[f][p] + 1.0 / 3.0 * b.upper[f][p];
      off += !(std::abs(between.upper[f][p] - want) <= 1e-5 * std::max(1.0, std::abs(want)));
      if (f == 4) warmed += !(std::abs(between.upper[f][p] - a.upper[f][p] - 1.0) < 0.01);
    }
  EXPECT_EQ(off, 0);
  EXPECT_EQ(warmed, 0);
}

TEST_F(prepare_grid, wrong_grids_and_areas_are_refused_by_name) {
  scratch_dir dir;
  for (const char* args : {"--grid abc", "--grid 0", "--grid 1/", "--grid 0.5/0.5/1", "--grid 20",
                           "--grid -1", "--grid 1 --area 45/-110/30", "--grid 1 --area a/b/c/d"}) {
    const shell_result r = prepare(dir.path(), std::string(args) + " " + in("f120.grib2"));
    EXPECT_EQ(r.status, 64) << args << ": " << r.err;
    EXPECT_NE(r.err.find(std::string(args).find("area") != std::string::npos ? "--area" : "--grid"),
              std::string::npos)
        << r.err;
  }
  const shell_result outside =
      prepare(dir.path(), "--grid 0.25 --area 80/0/70/10 --allow-holes " +
                              quoted(data_file("eta.grb")) + " " + in("lsm.grib2"));
  EXPECT_EQ(outside.status, 1);
  EXPECT_NE(outside.err.find("leaves a Lambert conformal grid (lambert) of 93 x 65 points: the "
                             "point 70 N 0 E lies outside its coverage; the largest area inside "
                             "it at this spacing is 58.25/225/17.75/295.5"),
            std::string::npos)
      << outside.err;
  const shell_result many = prepare(dir.path(), "--grid 0.01 " + in("f120.grib2"));
  EXPECT_EQ(many.status, 1);
  EXPECT_NE(many.err.find("more than 25000000 (a coarser --grid or a smaller --area)"),
            std::string::npos)
      << many.err;
  const shell_result sh =
      prepare(dir.path(), "--grid 1 " + quoted(data_file("spherical_pressure_level.grib1")));
  EXPECT_EQ(sh.status, 1);
  EXPECT_NE(sh.err.find("is in spherical harmonics (sh), which have no grid points; turn it into "
                        "a Gaussian grid first with CDO: cdo sp2gp in.grb out.grb"),
            std::string::npos)
      << sh.err;
  ASSERT_EQ(shell(dir.path(), "grib_set -s gridDefinitionTemplateNumber=101 " +
                                  quoted(data_file("eta_t500_lambert.grb")) + " icon.grb")
                .status,
            0);
  const shell_result icon = prepare(dir.path(), "--grid 1 icon.grb");
  EXPECT_EQ(icon.status, 1);
  EXPECT_NE(icon.err.find("icon.grb: message 1 (t, GRIB 2 0/0/0, 500 hPa) is on ICON's "
                          "triangles (unstructured_grid)"),
            std::string::npos)
      << icon.err;
  EXPECT_NE(icon.err.find("cdo remapcon,r1440x721 -setgrid,ICON_GRID_FILE.nc in.grb out.grb"),
            std::string::npos)
      << icon.err;
  EXPECT_EQ(shell(dir.path(), "ls -A").out, "icon.grb\n");
}

}  // namespace
}  // namespace c2m::test

// conv2model-prepare on a real NCEP GFS forecast (GRIB 2, 2.5 degrees, north to south,
// u and v in one message), checked point by point against ecCodes' grib_get_data.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/constants.hpp"
#include "companion/prepare/tests/prepare_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::test {
namespace {

constexpr double g = 9.80665;
const char* const upper_names[5] = {"u", "v", "gh", "r", "t"};

// The written grid: im x jm points from (lat1, lon1) in millidegrees, 2.5-degree steps.
struct written {
  std::int32_t im, jm, lm;
  std::int64_t lat1, lon1;
};

// What the input field file must hold at a point with the GRIB value v.
float expected(double v, double divisor) {
  return std::isnan(v) ? input_fill : static_cast<float>(v / divisor);
}

// Compares one grid of the input field file with the message grib_get_data selects:
// every point, with latitude and longitude worked out from the grid integers.
void expect_field(const float* grid, const written& w, const std::string& where,
                  double divisor = 1.0, bool mask = false, const float* sea = nullptr) {
  const point_values ref = grib_points(gfs_grib2(), where);
  int bad = 0;
  for (std::int32_t j = 0; j < w.jm; ++j)
    for (std::int32_t i = 0; i < w.im; ++i) {
      const std::int64_t lat = w.lat1 + 2500 * j;
      const std::int64_t lon = ((w.lon1 + 2500 * i) % 360000 + 360000) % 360000;
      const auto it = ref.find({lat, lon});
      ASSERT_NE(it, ref.end()) << where << ": no point at " << lat << ", " << lon;
      const std::size_t p = static_cast<std::size_t>(j) * static_cast<std::size_t>(w.im) +
                            static_cast<std::size_t>(i);
      float want = expected(it->second, divisor);
      if (mask && want != input_fill) want = it->second >= 0.5 ? 1.0f : 0.0f;
      if (sea && sea[p] == 0.0f) want = input_fill;
      // grib_get_data prints 13 significant digits: allow the float's last bit.
      const bool same = grid[p] == want || std::nextafter(grid[p], want) == want;
      if (!same && ++bad <= 3)
        ADD_FAILURE() << where << " at lat " << lat << " lon " << lon << ": " << grid[p]
                      << ", grib_get_data gives " << want;
    }
  EXPECT_EQ(bad, 0) << where;
}

void expect_fields(const input_fields& f, const written& w, const std::vector<int>& levels) {
  const std::size_t n = static_cast<std::size_t>(w.im) * static_cast<std::size_t>(w.jm);
  // The bottom, a middle and the top level.
  for (const std::size_t l : {std::size_t{0}, levels.size() / 2, levels.size() - 1})
    for (int k = 0; k < 5; ++k)
      expect_field(f.upper[k].data() + l * n, w,
                   std::string("typeOfLevel=isobaricInhPa,shortName=") + upper_names[k] +
                       ",level=" + std::to_string(levels[l]));
  const float* slp = f.slp.data();
  const float* mask = slp;
  expect_field(slp, w, "shortName=lsm", 1.0, true);
  expect_field(slp + n, w, "shortName=prmsl", 100.0);
  expect_field(slp + 2 * n, w, "shortName=sp", 100.0);
  expect_field(slp + 3 * n, w, "shortName=orog");
  const char* tops[4] = {"0", "10", "40", "100"};
  for (int layer = 0; layer < 4; ++layer) {
    const std::string depth =
        std::string(",typeOfLevel=depthBelowLandLayer,scaledValueOfFirstFixedSurface=") +
        tops[layer];
    expect_field(slp + (4 + 2 * layer) * n, w, "shortName=t" + depth, 1.0, false, mask);
    expect_field(slp + (5 + 2 * layer) * n, w, "shortName=soilw" + depth, 1.0, false, mask);
  }
}

const std::vector<int> gfs_levels = {1000, 975, 950, 925, 900, 850, 800, 750, 700,
                                     650,  600, 550, 500, 450, 400, 350, 300, 250,
                                     200,  150, 100, 70,  50,  30,  10};

std::string config_text(const std::string& grid_lines, const std::vector<int>& levels) {
  std::string t = "2011-01-15T12:00Z\n" + grid_lines;
  for (int l : levels) t += std::to_string(l) + "\n";
  return t;
}

TEST(prepare_gfs, whole_globe_matches_grib_get_data_and_converts) {
  scratch_dir dir;
  const shell_result r = prepare(dir.path(), quoted(gfs_grib2()));
  ASSERT_EQ(r.status, 0) << r.err;
  // Relative humidity has no 20 hPa level: that level is left out, and said so.
  EXPECT_NE(r.err.find("20 hPa left out: no hur"), std::string::npos) << r.err;
  EXPECT_EQ(read_file(dir / "InputModelInf.txt"),
            config_text("144 73 25\n0\n-90000\n0\n90000\n357500\n2500\n2500\n", gfs_levels));
  const input_fields f = read_input(dir / "analysis.bin", 144, 73, 25);
  EXPECT_EQ(f.lm, 25);
  for (std::size_t l = 0; l < gfs_levels.size(); ++l) EXPECT_EQ(f.pr[l], float(gfs_levels[l]));
  expect_fields(f, {144, 73, 25, -90000, 0}, gfs_levels);

  // conv2model runs on it unchanged.
  const run_result run = run_conv2model(dir.path(), "analysis.bin\nx\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_file(dir / "analysis.bin.ORUwrk").size(), (5u * 25u + 12u) * 144u * 73u * 4u);
  EXPECT_NE(read_file(dir / "analysis.bin.ORUwrk.gdsinfo").find("      -90000 kgds(4)\n"),
            std::string::npos);
}

TEST(prepare_gfs, window_across_the_zero_meridian) {
  scratch_dir dir;
  const shell_result r = prepare(dir.path(), "-o eu.bin --area 60/-30/20/40 '" + gfs_grib2() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir / "InputModelInf.txt"),
            config_text("29 17 25\n0\n20000\n-30000\n60000\n40000\n2500\n2500\n", gfs_levels));
  const input_fields f = read_input(dir / "eu.bin", 29, 17, 25);
  expect_fields(f, {29, 17, 25, 20000, -30000}, gfs_levels);
  const run_result run = run_conv2model(dir.path(), "eu.bin\nx\n");
  EXPECT_EQ(run.status, 0) << run.err;
}

TEST(prepare_gfs, chosen_levels_are_written_bottom_first) {
  scratch_dir dir;
  const shell_result r = prepare(dir.path(), "--levels 500,1000,850 '" + gfs_grib2() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir / "InputModelInf.txt"),
            config_text("144 73 3\n0\n-90000\n0\n90000\n357500\n2500\n2500\n", {1000, 850, 500}));
  const input_fields f = read_input(dir / "analysis.bin", 144, 73, 3);
  EXPECT_EQ(f.pr, (std::vector<float>{1000, 850, 500}));
  expect_fields(f, {144, 73, 3, -90000, 0}, {1000, 850, 500});
}

TEST(prepare_gfs, fields_from_several_files_give_the_same_file) {
  scratch_dir dir;
  ASSERT_EQ(prepare(dir.path(), "-o one.bin '" + gfs_grib2() + "'").status, 0);
  const std::string src = quoted(gfs_grib2());
  ASSERT_EQ(shell(dir.path(), "grib_copy -w typeOfLevel=isobaricInhPa " + src +
                                  " upper.grib2 && grib_copy -w typeOfLevel!=isobaricInhPa " + src +
                                  " surface.grib2")
                .status,
            0);
  const shell_result r = prepare(dir.path(), "-o two.bin surface.grib2 upper.grib2");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir / "one.bin"), read_file(dir / "two.bin"));
}

TEST(prepare_gfs, a_level_missing_for_one_field_is_an_error_and_nothing_is_written) {
  scratch_dir dir;
  write_text(dir / "InputModelInf.txt", "old\n");
  const shell_result r = prepare(dir.path(), "--levels 1000,20 '" + gfs_grib2() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "conv2model-prepare: no relative humidity (hur) at 20 hPa in the input; it has the "
            "levels (hPa) 10 30 50 70 100 150 200 250 300 350 400 450 500 550 600 650 700 750 "
            "800 850 900 925 950 975 1000\n");
  EXPECT_FALSE(file_exists(dir / "analysis.bin"));
  EXPECT_EQ(read_file(dir / "InputModelInf.txt"), "old\n");
  EXPECT_EQ(shell(dir.path(), "ls -A").out, "InputModelInf.txt\n");  // no temporary left
}

TEST(prepare_gfs, a_failed_write_leaves_the_files_as_they_were) {
  scratch_dir dir;
  write_text(dir / "InputModelInf.txt", "old\n");
  write_text(dir / "analysis.bin", "old data\n");
  // A file-size limit of 1 MiB: the 5.7 MB input field file cannot be written. The
  // shell leaves SIGXFSZ as it is (ending the program): prepare itself ignores it, so
  // that the write fails with EFBIG and is reported.
  const shell_result r =
      shell(dir.path(), std::string("ulimit -f 1024; '") + PREPARE_BIN + "' '" + gfs_grib2() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(
      r.err.find("conv2model-prepare: analysis.bin: cannot write output file: File too large"),
      std::string::npos)
      << r.err;
  EXPECT_EQ(read_file(dir / "InputModelInf.txt"), "old\n");
  EXPECT_EQ(read_file(dir / "analysis.bin"), "old data\n");
  EXPECT_EQ(shell(dir.path(), "ls -A").out, "InputModelInf.txt\nanalysis.bin\n");
}

TEST(prepare_gfs, inventory_lists_every_field_and_writes_nothing) {
  scratch_dir dir;
  const shell_result r = prepare(dir.path(), "--inventory '" + gfs_grib2() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(shell(dir.path(), "ls -A").out, "");
  EXPECT_NE(r.out.find("levels: 25 (hPa, bottom first): 1000 975"), std::string::npos) << r.out;
  // Each u and v line names its own message; grib_ls agrees on what it is.
  for (const char* field : {"ua 850 hPa", "va 850 hPa", "mrsov4 "}) {
    const std::size_t at = r.out.find(std::string("\n") + field);
    ASSERT_NE(at, std::string::npos) << field;
    const std::size_t m = r.out.find("message ", at);
    const std::string number = r.out.substr(m + 8, r.out.find(' ', m + 8) - m - 8);
    const shell_result ls = shell(
        dir.path(), "grib_ls -w count=" + number + " -p shortName,level '" + gfs_grib2() + "'");
    const std::string want = field[0] == 'u' ? "u " : field[0] == 'v' ? "v " : "soilw ";
    EXPECT_NE(r.out.find(std::string("(") + want.substr(0, want.size() - 1) + ", GRIB 2 ", m),
              std::string::npos);
    EXPECT_NE(ls.out.find(want), std::string::npos) << field << " is message " << number << ":\n"
                                                    << ls.out;
  }
}

TEST(prepare_gfs, grids_other_than_regular_latitude_longitude_are_refused) {
  scratch_dir dir;
  // The CDO command named must be one that CDO runs on such a field: spherical
  // harmonics go through a Gaussian grid (sp2gp) first.
  const struct {
    const char* file;
    const char* says;
    const char* cdo;
  } cases[] = {
      {"eta_t500_lambert.grb", "is on a Lambert conformal grid", "cdo remapbil,r1440x721 in.grb"},
      {"tigge_lsm_reduced_gg.grib2", "is on a Gaussian grid", "cdo remapbil,r1440x721 in.grb"},
      {"spherical_pressure_level.grib1", "is on spherical harmonics",
       "cdo sp2gp in.grb gg.grb, then cdo remapbil,r1440x721 gg.grb out.grb"}};
  for (const auto& c : cases) {
    const shell_result r = prepare(dir.path(), quoted(data_file(c.file)));
    EXPECT_EQ(r.status, 1) << c.file;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("regular latitude/longitude grids only"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.cdo), std::string::npos) << r.err;
  }
  write_text(dir / "notes.txt", "not an analysis\n");
  const shell_result r = prepare(dir.path(), "notes.txt");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "conv2model-prepare: notes.txt: not a GRIB or NetCDF file (no GRIB message found)\n");
  EXPECT_EQ(shell(dir.path(), "ls -A").out, "notes.txt\n");
}

}  // namespace
}  // namespace c2m::test

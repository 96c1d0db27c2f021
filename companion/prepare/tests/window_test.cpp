// Windows on real grids: a GFS file rewritten with its seam column repeated (0 to 360
// inclusive, as CDO and many producers write a global grid) gives the same points as the
// original, and a window that leaves a grid is refused naming the grid's extent.
#include <gtest/gtest.h>

#include <string>

#include "companion/prepare/tests/prepare_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::test {
namespace {

// The GFS fields on 145 columns, 0 to 360: grib_copy splits NCEP's u+v messages, CDO's
// nearest neighbour copies each point (values as 64-bit floats, so nothing is repacked)
// and the 360 column from the 0 one.
void make_seam_file(const scratch_dir& dir) {
  write_text(dir / "seam.txt",
             "gridtype = lonlat\nxsize = 145\nysize = 73\nxfirst = 0\nxinc = 2.5\n"
             "yfirst = 90\nyinc = -2.5\n");
  const shell_result made =
      shell(dir.path(),
            "grib_copy -w typeOfLevel=isobaricInhPa/surface/meanSea/"
            "depthBelowLandLayer " +
                quoted(gfs_grib2()) +
                " split.grib2 && cdo -s -b F64 remapnn,seam.txt split.grib2 "
                "seam.grib2 && grib_get -p Ni,longitudeOfLastGridPointInDegrees -w "
                "count=1 seam.grib2");
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_EQ(made.out, "145 360\n");
}

TEST(prepare_window, a_repeated_seam_column_gives_the_window_asked_for) {
  scratch_dir dir;
  make_seam_file(dir);
  for (const char* area : {"60/-20/30/30", "60/350/30/30"}) {
    const shell_result a = prepare(dir.path(), std::string("-o a.bin --area ") + area +
                                                   " seam.grib2 && mv InputModelInf.txt a.txt");
    ASSERT_EQ(a.status, 0) << a.err;
    const shell_result b =
        prepare(dir.path(), std::string("-o b.bin --area ") + area + " " + quoted(gfs_grib2()));
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(read_file(dir / "a.txt"), read_file(dir / "InputModelInf.txt")) << area;
    EXPECT_TRUE(read_file(dir / "a.bin") == read_file(dir / "b.bin")) << area;
  }
  EXPECT_NE(read_file(dir / "a.txt").find("17 13 25\n0\n30000\n-10000\n60000\n30000\n"),
            std::string::npos)
      << read_file(dir / "a.txt");
  // The whole grid: the 360 column once.
  ASSERT_EQ(prepare(dir.path(), "-o w.bin seam.grib2").status, 0);
  EXPECT_NE(read_file(dir / "InputModelInf.txt").find("144 73 25\n0\n-90000\n0\n90000\n357500\n"),
            std::string::npos);
}

TEST(prepare_window, a_window_leaving_the_grid_is_refused_and_nothing_is_written) {
  scratch_dir dir;
  const shell_result r = prepare(dir.path(), "--area 95/0/30/30 " + quoted(gfs_grib2()));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("north and south must lie within -90..90"), std::string::npos) << r.err;
  const shell_result one = prepare(dir.path(), "--area 60/10/30/10 " + quoted(gfs_grib2()));
  EXPECT_EQ(one.status, 1);
  EXPECT_NE(one.err.find("the area 60/10/30/10 holds fewer than two columns of the grid 144 x "
                         "73, 0 to 357.5 E, -90 to 90 N"),
            std::string::npos)
      << one.err;
  EXPECT_EQ(shell(dir.path(), "ls -A").out, "");
}

#ifdef INSPECT_BIN
// The grid description's longitudes, read back by conv2model-inspect from the work file
// (its NetCDF export's lon axis, printed by ncks): the coordinates the area asked for.
TEST(prepare_window, the_inspector_reads_the_longitudes_back_as_asked) {
  const struct {
    const char* area;
    const char* lon;
  } cases[] = {{"60/-30/20/40", "-30,-27.5,"}, {"11/169/-11/-169", "170,172.5,"}};
  for (const auto& c : cases) {
    scratch_dir dir;
    const shell_result r =
        prepare(dir.path(), std::string("-o w.bin --area ") + c.area + " " + quoted(gfs_grib2()));
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(run_conv2model(dir.path(), "w.bin\nx\n").status, 0);
    const shell_result lon = shell(
        dir.path(), std::string("'") + INSPECT_BIN +
                        "' netcdf w.bin.ORUwrk w.nc >/dev/null && ncks -C -H --trd -v lon w.nc | "
                        "awk -F= 'NF > 1 {printf \"%s,\", $2 + 0}'");
    ASSERT_EQ(lon.status, 0) << lon.err;
    EXPECT_EQ(lon.out.substr(0, std::string(c.lon).size()), c.lon) << c.area << ": " << lon.out;
    const std::string last = std::string(c.area) == "60/-30/20/40" ? ",40," : ",190,";
    EXPECT_EQ(lon.out.substr(lon.out.size() - last.size()), last) << c.area << ": " << lon.out;
  }
}
#endif

}  // namespace
}  // namespace c2m::test

// The NetCDF export as CDO turns it into GRIB, read back with ecCodes' grib_ls: every
// field must come out as its own parameter, on its own kind of level.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>

#include "companion/inspect/netcdf_export.hpp"
#include "companion/inspect/tests/work_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::inspect {
namespace {

struct command_result {
  int status = -1;
  std::string out;  // standard output and standard error
};

command_result run(const std::string& command) {
  command_result r;
  std::FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) r.out.append(buffer, n);
  const int status = ::pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// One line per message: the keys asked for, blank-separated.
std::vector<std::string> grib_messages(const std::string& grib, const std::string& keys) {
  const command_result r = run("grib_get -p " + keys + " " + grib);
  EXPECT_EQ(r.status, 0) << r.out;
  std::vector<std::string> lines;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string joined;
    for (std::string w; words >> w;) joined += (joined.empty() ? "" : " ") + w;
    lines.push_back(joined);
  }
  return lines;
}

// Two levels, soil depths given; pressures 1000 hPa, which GRIB carries in Pa.
std::string exported(const c2m::test::scratch_dir& dir, int edition) {
  write_case(test::make_case(4, 3, 2), dir / "w");
  netcdf_options options;
  options.soil_depths = parse_soil_depths("0.1,0.4,1,2");
  options.time = parse_analysis_time("2024-01-15T12:00");
  options.grib_edition = edition;
  export_netcdf(companion::read_work_file(dir / "w"), dir / "w.nc", options);
  const std::string grib = dir / (edition == 1 ? "w.grb" : "w.grb2");
  const command_result r = run("cdo -s -f " + std::string(edition == 1 ? "grb" : "grb2") +
                               " copy " + (dir / "w.nc") + " " + grib);
  EXPECT_EQ(r.status, 0) << r.out;
  return grib;
}

TEST(inspect_grib, cdo_writes_every_field_of_the_export_as_itself_in_grib_1) {
  c2m::test::scratch_dir dir;
  const std::string grib = exported(dir, 1);
  EXPECT_EQ(grib_messages(grib, "shortName,typeOfLevel,level,dataDate,dataTime,average"),
            (std::vector<std::string>{
                "u isobaricInhPa 1000 20240115 1200 5",
                "u isobaricInhPa 900 20240115 1200 5",
                "v isobaricInhPa 1000 20240115 1200 5",
                "v isobaricInhPa 900 20240115 1200 5",
                "gh isobaricInhPa 1000 20240115 1200 1000",
                "gh isobaricInhPa 900 20240115 1200 1000",
                "q isobaricInhPa 1000 20240115 1200 0.001",
                "q isobaricInhPa 900 20240115 1200 0.001",
                "t isobaricInhPa 1000 20240115 1200 250",
                "t isobaricInhPa 900 20240115 1200 250",
                "lsm surface 0 20240115 1200 1",
                "msl surface 0 20240115 1200 100000",
                "sp surface 0 20240115 1200 100000",
                "orog surface 0 20240115 1200 100",
                "stl1 depthBelowLandLayer 0 20240115 1200 280",
                "swvl1 depthBelowLandLayer 0 20240115 1200 0.3",
                "stl2 depthBelowLandLayer 10 20240115 1200 280",
                "swvl2 depthBelowLandLayer 10 20240115 1200 0.3",
                "stl3 depthBelowLandLayer 40 20240115 1200 280",
                "swvl3 depthBelowLandLayer 40 20240115 1200 0.3",
                "stl4 depthBelowLandLayer 100 20240115 1200 280",
                "swvl4 depthBelowLandLayer 100 20240115 1200 0.3",
            }));
  EXPECT_EQ(grib_messages(grib, "shortName,bottomLevel").back(), "swvl4 200");
  // WMO table 2 has no volumetric soil moisture: the soil layers are ECMWF's, table 128,
  // a code and the right units each.
  const std::vector<std::string> soil =
      grib_messages(grib, "table2Version,indicatorOfParameter,shortName,units");
  EXPECT_EQ(std::vector<std::string>(soil.end() - 8, soil.end()), (std::vector<std::string>{
                                                                      "128 139 stl1 K",
                                                                      "128 39 swvl1 m**3 m**-3",
                                                                      "128 170 stl2 K",
                                                                      "128 40 swvl2 m**3 m**-3",
                                                                      "128 183 stl3 K",
                                                                      "128 41 swvl3 m**3 m**-3",
                                                                      "128 236 stl4 K",
                                                                      "128 42 swvl4 m**3 m**-3",
                                                                  }));
}

TEST(inspect_grib, cdo_writes_every_field_of_the_export_as_itself_in_grib_2) {
  c2m::test::scratch_dir dir;
  const std::string grib = exported(dir, 2);
  EXPECT_EQ(grib_messages(grib, "shortName,typeOfLevel,level,average"),
            (std::vector<std::string>{
                "u isobaricInhPa 1000 5",
                "u isobaricInhPa 900 5",
                "v isobaricInhPa 1000 5",
                "v isobaricInhPa 900 5",
                "gh isobaricInhPa 1000 1000",
                "gh isobaricInhPa 900 1000",
                "q isobaricInhPa 1000 0.001",
                "q isobaricInhPa 900 0.001",
                "t isobaricInhPa 1000 250",
                "t isobaricInhPa 900 250",
                "lsm surface 0 1",
                "prmsl surface 0 100000",
                "sp surface 0 100000",
                "orog surface 0 100",
                "sot depthBelowLandLayer 0 280",
                "sot depthBelowLandLayer 0 280",
                "sot depthBelowLandLayer 0 280",
                "sot depthBelowLandLayer 1 280",
                "vsw depthBelowLandLayer 0 0.3",
                "vsw depthBelowLandLayer 0 0.3",
                "vsw depthBelowLandLayer 0 0.3",
                "vsw depthBelowLandLayer 1 0.3",
            }));
}

}  // namespace
}  // namespace c2m::inspect

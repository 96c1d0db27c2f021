#include "companion/netcdf_export.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#include "common/errors.hpp"
#include "companion/netcdf_file.hpp"
#include "companion/staged_output.hpp"
#include "companion/tests/work_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::inspect {
namespace {

std::string command_output(const std::string& command) {
  std::string text;
  std::FILE* p = ::popen(command.c_str(), "r");
  if (!p) return text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, n);
  ::pclose(p);
  return text;
}

// A 5 x 4 grid, 3 levels, every point a different value, with a gap and a NaN.
test::work_case numbered_case() {
  test::work_case c = test::make_case(5, 4, 3);
  for (std::size_t p = 0; p < c.values.size(); ++p) c.values[p] = 0.5f * static_cast<float>(p);
  c.at(13, 2, 2) = -99999.0f;
  c.at(20, 5, 4) = std::numeric_limits<float>::quiet_NaN();
  return c;
}

bool same_bits(const std::vector<float>& a, const float* b) {
  return std::memcmp(a.data(), b, a.size() * sizeof(float)) == 0;
}

TEST(inspect_netcdf_export, header_is_cf_with_level_lat_lon_and_all_seventeen_fields) {
  c2m::test::scratch_dir dir;
  write_case(numbered_case(), dir / "w");
  export_netcdf(read_work_file(dir / "w"), dir / "out.nc");

  EXPECT_EQ(command_output("ncdump -k " + (dir / "out.nc")), "netCDF-4\n");
  const std::string h = command_output("ncdump -h " + (dir / "out.nc"));
  for (const char* line : {
           "netcdf out {",
           "\tlevel = 3 ;",
           "\tlat = 4 ;",
           "\tlon = 5 ;",
           "\tfloat level(level) ;",
           "\t\tlevel:units = \"Pa\" ;",
           "\t\tlevel:positive = \"down\" ;",
           "\t\tlevel:axis = \"Z\" ;",
           "\tdouble lat(lat) ;",
           "\t\tlat:units = \"degrees_north\" ;",
           "\tdouble lon(lon) ;",
           "\t\tlon:units = \"degrees_east\" ;",
           "\tfloat uw(level, lat, lon) ;",
           "\t\tuw:long_name = \"Zonal wind\" ;",
           "\t\tuw:units = \"m/s\" ;",
           "\t\tuw:_FillValue = -99999.f ;",
           "\tfloat q(level, lat, lon) ;",
           "\t\tq:units = \"kg/kg\" ;",
           "\t\ttp:standard_name = \"air_temperature\" ;",
           "\tfloat lsm(lat, lon) ;",
           "\t\tlsm:units = \"1\" ;",
           "\t\tmslp:units = \"hPa\" ;",
           "\t\tst2:long_name = \"Soil Temperature layer 2\" ;",
           "\tfloat sm4(lat, lon) ;",
           "\t\tsm4:_FillValue = -99999.f ;",
           "\t\t:Conventions = \"CF-1.8\" ;",
       })
    EXPECT_NE(h.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << h;
  EXPECT_EQ(h.find("time"), std::string::npos) << h;
  EXPECT_EQ(h.find("UNLIMITED"), std::string::npos) << h;
}

TEST(inspect_netcdf_export, values_and_coordinates_read_back_unchanged) {
  c2m::test::scratch_dir dir;
  const test::work_case c = numbered_case();
  write_case(c, dir / "w");
  const work_file w = read_work_file(dir / "w");
  export_netcdf(w, dir / "out.nc");

  const netcdf_file nc = netcdf_file::open(dir / "out.nc");
  EXPECT_EQ(nc.read_floats(nc.var("level")), (std::vector<float>{100000.0f, 90000.0f, 80000.0f}));
  EXPECT_EQ(nc.read_floats(nc.var("lat")), (std::vector<float>{35.0f, 35.25f, 35.5f, 35.75f}));
  EXPECT_EQ(nc.read_floats(nc.var("lon")),
            (std::vector<float>{-10.0f, -9.75f, -9.5f, -9.25f, -9.0f}));
  // Each 3-D field is its lm records in a row, level 1 first; then one record a field.
  const char* names[] = {"uw",  "vw",  "ht",  "q",   "tp",  "lsm", "mslp", "psfc", "topo",
                         "st1", "sm1", "st2", "sm2", "st3", "sm3", "st4",  "sm4"};
  for (int k = 0; k < 17; ++k) {
    const std::vector<float> v = nc.read_floats(nc.var(names[k]));
    const int first = k < 5 ? k * 3 + 1 : 15 + (k - 5) + 1;
    ASSERT_EQ(v.size(), k < 5 ? 60u : 20u) << names[k];
    EXPECT_TRUE(same_bits(v, w.record(first).data())) << names[k];
  }
  EXPECT_EQ(nc.text(nc.var("tp"), "long_name"), "Temperature");
  EXPECT_EQ(nc.read_floats(nc.var("q"))[0], c.values[9 * 20]);
}

TEST(inspect_netcdf_export, a_failed_export_leaves_no_file_and_keeps_an_older_one) {
  c2m::test::scratch_dir dir;
  test::work_case c = numbered_case();
  c.kgds[1] = 3;  // not a latitude/longitude grid
  write_case(c, dir / "w");
  c2m::test::write_text(dir / "out.nc", "older");
  try {
    export_netcdf(read_work_file(dir / "w"), dir / "out.nc");
    ADD_FAILURE() << "export of a grid without latitudes went through";
  } catch (const run_error& e) {
    EXPECT_NE(std::string(e.what()).find("kgds(1) = 3 is not a latitude/longitude grid"),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(c2m::test::read_file(dir / "out.nc"), "older");

  c.kgds[1] = 0;
  write_case(c, dir / "w");
  try {
    export_netcdf(read_work_file(dir / "w"), dir / "no/such/dir/out.nc");
    ADD_FAILURE() << "export into a missing directory went through";
  } catch (const run_error& e) {
    EXPECT_NE(std::string(e.what()).find(dir / "no/such/dir/out.nc"), std::string::npos);
  }
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 3);  // w, w.gdsinfo, out.nc: no temporary file stays behind
}

TEST(inspect_netcdf_export, staged_output_replaces_the_file_only_on_commit) {
  c2m::test::scratch_dir dir;
  c2m::test::write_text(dir / "out", "older");
  std::string temp;
  {
    staged_output out(dir / "out");
    temp = out.temp_path();
    c2m::test::write_text(temp, "half");
  }
  EXPECT_EQ(c2m::test::read_file(dir / "out"), "older");
  EXPECT_FALSE(c2m::test::file_exists(temp));
  {
    staged_output out(dir / "out");
    c2m::test::write_text(out.temp_path(), "newer");
    out.commit();
  }
  EXPECT_EQ(c2m::test::read_file(dir / "out"), "newer");
}

}  // namespace
}  // namespace c2m::inspect

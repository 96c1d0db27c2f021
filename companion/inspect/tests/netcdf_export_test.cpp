#include "companion/inspect/netcdf_export.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#include "common/errors.hpp"
#include "companion/common/netcdf_file.hpp"
#include "companion/common/staged_output.hpp"
#include "companion/inspect/tests/work_case.hpp"
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
  c.at(17, 2, 3) = -99999.0f;  // psl: a gap stays a gap in Pa
  return c;
}

bool same_bits(const std::vector<float>& a, const float* b) {
  return std::memcmp(a.data(), b, a.size() * sizeof(float)) == 0;
}

TEST(inspect_netcdf_export, header_is_cf_with_names_no_grib_tool_mistakes) {
  c2m::test::scratch_dir dir;
  write_case(numbered_case(), dir / "w");
  netcdf_options options;
  options.command_line = "conv2model-inspect netcdf w out.nc";
  export_netcdf(companion::read_work_file(dir / "w"), dir / "out.nc", options);

  EXPECT_EQ(command_output("ncdump -k " + (dir / "out.nc")), "netCDF-4\n");
  const std::string h = command_output("ncdump -h " + (dir / "out.nc"));
  for (const char* line : {
           "netcdf out {",
           "\tplev = 3 ;",
           "\tlat = 4 ;",
           "\tlon = 5 ;",
           "\tfloat plev(plev) ;",
           "\t\tplev:units = \"Pa\" ;",
           "\t\tplev:positive = \"down\" ;",
           "\t\tplev:axis = \"Z\" ;",
           "\tdouble lat(lat) ;",
           "\t\tlat:units = \"degrees_north\" ;",
           "\tdouble lon(lon) ;",
           "\t\tlon:units = \"degrees_east\" ;",
           "\tfloat ua(plev, lat, lon) ;",
           "\t\tua:long_name = \"Zonal wind\" ;",
           "\t\tua:units = \"m s-1\" ;",
           "\t\tua:standard_name = \"eastward_wind\" ;",
           "\t\tua:_FillValue = -99999.f ;",
           "\t\tua:code = 33 ;",
           "\t\tua:table = 2 ;",
           "\tfloat hus(plev, lat, lon) ;",
           "\t\thus:units = \"kg kg-1\" ;",
           "\t\tta:standard_name = \"air_temperature\" ;",
           "\t\tta:code = 11 ;",
           "\tfloat sftlf(lat, lon) ;",
           "\t\tsftlf:units = \"1\" ;",
           "\t\tsftlf:standard_name = \"land_binary_mask\" ;",
           "\t\tpsl:units = \"Pa\" ;",
           "\t\tpsl:code = 2 ;",
           "\t\tps:standard_name = \"surface_air_pressure\" ;",
           "\t\tps:code = 1 ;",
           "\t\torog:standard_name = \"surface_altitude\" ;",
           // GRIB 1: each soil layer a variable, with ECMWF's code for it in table 128.
           "\tfloat tsl1(lat, lon) ;",
           "\t\ttsl1:long_name = \"Soil Temperature layer 1\" ;",
           "\t\ttsl1:standard_name = \"soil_temperature\" ;",
           "\t\ttsl1:code = 139 ;",
           "\t\ttsl1:table = 128 ;",
           "\t\ttsl4:code = 236 ;",
           "\tfloat mrsov2(lat, lon) ;",
           "\t\tmrsov2:standard_name = \"volume_fraction_of_condensed_water_in_soil\" ;",
           "\t\tmrsov2:_FillValue = -99999.f ;",
           "\t\tmrsov2:code = 40 ;",
           "\t\t:Conventions = \"CF-1.8\" ;",
           "\t\t:comment = \"The work file does not record the depths of its soil layers.\" ;",
       })
    EXPECT_NE(h.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << h;
  // The names GRIB tools took for their own parameters are gone.
  for (const char* old : {"\tfloat tp(", "\tfloat uw(", "\tfloat mslp(", "\tfloat psfc(",
                          "\tfloat st1(", "param", "time"})
    EXPECT_EQ(h.find(old), std::string::npos) << old << "\n" << h;
  // history: when, by whom, which program, which command.
  const std::size_t at = h.find(":history = \"");
  ASSERT_NE(at, std::string::npos) << h;
  const std::string history = h.substr(at + 12, h.find('\n', at) - at - 12);
  EXPECT_EQ(history.size() > 20
                ? history.substr(4, 1) + history.substr(10, 1) + history.substr(19, 1)
                : "",
            "-TZ")
      << history;
  EXPECT_NE(history.find(": conv2model-inspect " CONV2MODEL_TEST_VERSION
                         ": conv2model-inspect netcdf w out.nc\" ;"),
            std::string::npos)
      << history;

  options.grib_edition = 2;
  export_netcdf(companion::read_work_file(dir / "w"), dir / "out.nc", options);
  const std::string h2 = command_output("ncdump -h " + (dir / "out.nc"));
  EXPECT_NE(h2.find("\t\tta:param = \"0.0.0\" ;\n"), std::string::npos) << h2;
  EXPECT_NE(h2.find("\t\tmrsov:param = \"25.0.2\" ;\n"), std::string::npos) << h2;
  // GRIB 2: a parameter for all layers, which lie on the soil axis.
  for (const char* line :
       {"\tsoil_layer = 4 ;", "\tdouble soil_layer(soil_layer) ;",
        "\t\tsoil_layer:long_name = \"soil layer, 1 at the top (layer depths "
        "unknown)\" ;",
        "\tfloat tsl(soil_layer, lat, lon) ;", "\t\ttsl:long_name = \"Soil Temperature\" ;",
        "\tfloat mrsov(soil_layer, lat, lon) ;"})
    EXPECT_NE(h2.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << h2;
  EXPECT_EQ(h2.find(":code"), std::string::npos) << h2;  // CDO would take code over param
}

TEST(inspect_netcdf_export, values_read_back_unchanged_and_pressures_in_pa) {
  c2m::test::scratch_dir dir;
  const test::work_case c = numbered_case();
  write_case(c, dir / "w");
  const companion::work_file w = companion::read_work_file(dir / "w");
  netcdf_options grib2;
  grib2.grib_edition = 2;
  export_netcdf(w, dir / "out.nc", grib2);

  const companion::netcdf_file nc = companion::netcdf_file::open(dir / "out.nc");
  EXPECT_EQ(nc.read_floats(nc.var("plev")), (std::vector<float>{100000.0f, 90000.0f, 80000.0f}));
  EXPECT_EQ(nc.read_floats(nc.var("lat")), (std::vector<float>{35.0f, 35.25f, 35.5f, 35.75f}));
  EXPECT_EQ(nc.read_floats(nc.var("lon")),
            (std::vector<float>{-10.0f, -9.75f, -9.5f, -9.25f, -9.0f}));
  EXPECT_EQ(nc.read_floats(nc.var("soil_layer")), (std::vector<float>{1, 2, 3, 4}));
  // Each 3-D field is its lm records in a row, level 1 first; each surface field one record;
  // the soil fields their four layers, layer 1 first.
  const struct {
    const char* name;
    std::vector<int> records;
  } vars[] = {{"ua", {1, 2, 3}},     {"va", {4, 5, 6}},         {"zg", {7, 8, 9}},
              {"hus", {10, 11, 12}}, {"ta", {13, 14, 15}},      {"sftlf", {16}},
              {"orog", {19}},        {"tsl", {20, 22, 24, 26}}, {"mrsov", {21, 23, 25, 27}}};
  for (const auto& v : vars) {
    const std::vector<float> got = nc.read_floats(nc.var(v.name));
    ASSERT_EQ(got.size(), 20 * v.records.size()) << v.name;
    for (std::size_t n = 0; n < v.records.size(); ++n)
      EXPECT_TRUE(same_bits(std::vector<float>(got.begin() + 20 * n, got.begin() + 20 * (n + 1)),
                            w.record(v.records[n]).data()))
          << v.name << " " << n;
  }
  // Pressures: the work file's hPa times 100 in float; the missing value and NaN stay.
  for (const auto& [name, record] : {std::pair{"psl", 17}, std::pair{"ps", 18}}) {
    const std::vector<float> got = nc.read_floats(nc.var(name));
    for (std::size_t p = 0; p < 20; ++p) {
      const float hpa = w.record(record)[p];
      EXPECT_EQ(got[p], hpa == -99999.0f ? hpa : hpa * 100.0f) << name << " " << p;
    }
  }
  EXPECT_EQ(nc.text(nc.var("ta"), "long_name"), "Temperature");
  EXPECT_EQ(nc.read_floats(nc.var("hus"))[0], c.values[9 * 20]);

  // For GRIB 1 the soil layers are variables of their own.
  export_netcdf(w, dir / "out1.nc", {});
  const companion::netcdf_file nc1 = companion::netcdf_file::open(dir / "out1.nc");
  EXPECT_TRUE(same_bits(nc1.read_floats(nc1.var("tsl3")), w.record(24).data()));
  EXPECT_TRUE(same_bits(nc1.read_floats(nc1.var("mrsov4")), w.record(27).data()));
  EXPECT_EQ(nc1.find_var("tsl"), -1);
}

TEST(inspect_netcdf_export, soil_depths_and_analysis_time_give_cf_coordinates) {
  c2m::test::scratch_dir dir;
  write_case(numbered_case(), dir / "w");
  netcdf_options options;
  options.soil_depths = parse_soil_depths("0.1,0.4,1,2");
  options.time = parse_analysis_time("2024-01-15T06:30");
  options.grib_edition = 2;
  export_netcdf(companion::read_work_file(dir / "w"), dir / "out.nc", options);

  const std::string h = command_output("ncdump -h " + (dir / "out.nc"));
  for (const char* line : {
           "\ttime = 1 ;",
           "\tdepth = 4 ;",
           "\tbnds = 2 ;",
           "\t\ttime:units = \"hours since 2024-01-15 06:30:00\" ;",
           "\t\ttime:calendar = \"standard\" ;",
           "\t\tdepth:units = \"cm\" ;",
           "\t\tdepth:bounds = \"depth_bnds\" ;",
           "\t\tdepth:positive = \"down\" ;",
           "\tfloat ta(time, plev, lat, lon) ;",
           "\tfloat tsl(time, depth, lat, lon) ;",
           "\tfloat orog(time, lat, lon) ;",
       })
    EXPECT_NE(h.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << h;
  EXPECT_EQ(h.find("comment"), std::string::npos) << h;
  const companion::netcdf_file nc = companion::netcdf_file::open(dir / "out.nc");
  EXPECT_EQ(nc.read_floats(nc.var("time")), (std::vector<float>{0.0f}));
  EXPECT_EQ(nc.read_floats(nc.var("depth")), (std::vector<float>{5, 25, 70, 150}));
  EXPECT_EQ(nc.read_floats(nc.var("depth_bnds")),
            (std::vector<float>{0, 10, 10, 40, 40, 100, 100, 200}));

  // GRIB 1: each layer on an axis of its own, of one depth.
  options.grib_edition = 1;
  export_netcdf(companion::read_work_file(dir / "w"), dir / "out1.nc", options);
  const std::string h1 = command_output("ncdump -h " + (dir / "out1.nc"));
  for (const char* line :
       {"\tdepth2 = 1 ;", "\t\tdepth2:bounds = \"depth2_bnds\" ;",
        "\tfloat tsl2(time, depth2, lat, lon) ;", "\tfloat mrsov4(time, depth4, lat, lon) ;"})
    EXPECT_NE(h1.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << h1;
  const companion::netcdf_file nc1 = companion::netcdf_file::open(dir / "out1.nc");
  EXPECT_EQ(nc1.read_floats(nc1.var("depth2")), (std::vector<float>{25}));
  EXPECT_EQ(nc1.read_floats(nc1.var("depth4_bnds")), (std::vector<float>{100, 200}));

  EXPECT_EQ(parse_analysis_time("2024-02-29"), (analysis_time{2024, 2, 29, 0, 0, 0}));
  EXPECT_EQ(parse_analysis_time("2024-01-15 18"), (analysis_time{2024, 1, 15, 18, 0, 0}));
  EXPECT_EQ(parse_analysis_time("2000-12-31T23:59:59"), (analysis_time{2000, 12, 31, 23, 59, 59}));
  for (const char* bad : {"2023-02-29", "2024-13-01", "2024-01-15T24:00", "2024-1-15",
                          "2024-01-15T06:60", "2024-01-15X06", "2024-01-15T06:00Z", ""})
    EXPECT_THROW(parse_analysis_time(bad), run_error) << bad;
  for (const char* bad : {"0.1,0.4,1", "0,0.4,1,2", "0.1,0.4,0.4,2", "0.1,0.4,1,2,3", "a,b,c,d",
                          "0.1,,1,2", "0.1,0.4,1,inf"})
    EXPECT_THROW(parse_soil_depths(bad), run_error) << bad;
}

// Whatever the compression, each level of a field is one chunk and the values are the
// same bits; only the storage changes.
TEST(inspect_netcdf_export, deflate_levels_change_the_storage_not_the_values) {
  c2m::test::scratch_dir dir;
  write_case(numbered_case(), dir / "w");
  const companion::work_file w = companion::read_work_file(dir / "w");
  const char* fields[] = {"ua",  "va", "zg",   "hus", "ta",   "sftlf",
                          "psl", "ps", "orog", "tsl", "mrsov"};
  std::vector<std::vector<float>> plain;
  for (const int level : {0, 1, 9}) {
    netcdf_options options;
    options.deflate = level;
    options.time = parse_analysis_time("2024-01-15");
    options.grib_edition = 2;  // the soil layers on an axis too
    const std::string out = dir / ("out" + std::to_string(level) + ".nc");
    export_netcdf(w, out, options);
    const std::string h = command_output("ncdump -hs " + out);
    for (const char* chunks :
         {"\t\tta:_ChunkSizes = 1, 1, 4, 5 ;\n", "\t\tmrsov:_ChunkSizes = 1, 1, 4, 5 ;\n",
          "\t\torog:_ChunkSizes = 1, 4, 5 ;\n"})
      EXPECT_NE(h.find(chunks), std::string::npos) << level << ": " << chunks << h;
    const std::string deflate = "\t\tta:_DeflateLevel = " + std::to_string(level) + " ;\n";
    EXPECT_EQ(h.find(deflate) != std::string::npos, level > 0) << level << "\n" << h;
    EXPECT_EQ(h.find("\t\tta:_Shuffle = \"true\" ;\n") != std::string::npos, level > 0) << h;
    EXPECT_EQ(h.find("_DeflateLevel") != std::string::npos, level > 0) << h;

    const companion::netcdf_file nc = companion::netcdf_file::open(out);
    for (std::size_t k = 0; k < std::size(fields); ++k) {
      const std::vector<float> got = nc.read_floats(nc.var(fields[k]));
      if (level == 0) {
        plain.push_back(got);
        continue;
      }
      ASSERT_EQ(got.size(), plain[k].size()) << fields[k];
      EXPECT_TRUE(same_bits(got, plain[k].data())) << level << " " << fields[k];
    }
  }
}

TEST(inspect_netcdf_export, a_failed_export_leaves_no_file_and_keeps_an_older_one) {
  c2m::test::scratch_dir dir;
  test::work_case c = numbered_case();
  c.kgds[1] = 3;  // not a latitude/longitude grid
  write_case(c, dir / "w");
  c2m::test::write_text(dir / "out.nc", "older");
  try {
    export_netcdf(companion::read_work_file(dir / "w"), dir / "out.nc", {});
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
    export_netcdf(companion::read_work_file(dir / "w"), dir / "no/such/dir/out.nc", {});
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
    companion::staged_output out(dir / "out");
    temp = out.temp_path();
    c2m::test::write_text(temp, "half");
  }
  EXPECT_EQ(c2m::test::read_file(dir / "out"), "older");
  EXPECT_FALSE(c2m::test::file_exists(temp));
  {
    companion::staged_output out(dir / "out");
    c2m::test::write_text(out.temp_path(), "newer");
    out.commit();
  }
  EXPECT_EQ(c2m::test::read_file(dir / "out"), "newer");
}

}  // namespace
}  // namespace c2m::inspect

#include "companion/common/work_file.hpp"

#include <gtest/gtest.h>

#include "common/errors.hpp"
#include "companion/inspect/tests/work_case.hpp"
#include "tests/support/scratch.hpp"
#include "tools/record_writer.hpp"

namespace c2m::inspect {
namespace {

std::string error_of(const std::string& path,
                     companion::work_file (*read)(const std::string&) = companion::read_work_file) {
  try {
    read(path);
  } catch (const run_error& e) {
    return e.what();
  }
  return "";
}

// Replaces the first occurrence of from in the info file of path.
void edit_info(const std::string& path, const std::string& from, const std::string& to) {
  std::string text = c2m::test::read_file(path + ".gdsinfo");
  const std::size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
  sample::write_file(path + ".gdsinfo", text);
}

TEST(inspect_work_file, reads_layout_and_records_from_the_converters_info_file) {
  c2m::test::scratch_dir dir;
  test::work_case c = test::make_case(4, 3, 2);
  c.at(1, 1, 1) = 7.0f;   // uw level 1, first point
  c.at(7, 4, 3) = 11.0f;  // q level 1, last point
  c.at(22, 2, 2) = 0.5f;  // soil moisture layer 4
  write_case(c, dir / "an.bin.ORUwrk");

  const companion::work_file w = companion::read_work_file(dir / "an.bin.ORUwrk");
  EXPECT_EQ(w.info.im, 4);
  EXPECT_EQ(w.info.jm, 3);
  EXPECT_EQ(w.info.lm, 2);
  EXPECT_EQ(w.record_count(), 22);
  // The info file lists the top level first; the reader turns it into work-file order.
  EXPECT_EQ(w.info.pressure_pa, (std::vector<float>{100000.0f, 90000.0f}));
  EXPECT_EQ(w.info.kgds[4], 35000);
  EXPECT_EQ(w.info.kgds[11], 64);
  EXPECT_EQ(w.info.kgds[20], 255);
  EXPECT_EQ(w.record(1)[0], 7.0f);
  EXPECT_EQ(w.record(7)[11], 11.0f);
  EXPECT_EQ(w.record(22)[5], 0.5f);

  ASSERT_EQ(w.info.fields_3d.size(), 5u);
  EXPECT_EQ(w.info.fields_3d[3].short_name, "hus");
  EXPECT_EQ(w.info.fields_3d[3].long_name, "Specific humidity");
  EXPECT_EQ(w.info.fields_3d[3].units, "kg/kg");
  EXPECT_EQ(w.info.fields_2d[0].short_name, "sftlf");
  EXPECT_EQ(w.info.fields_2d[0].units, "");
  EXPECT_EQ(w.info.fields_2d[4].long_name, "Soil Temperature layer 1");
  EXPECT_EQ(w.info.fields_2d[11].short_name, "mrsov");
  EXPECT_EQ(w.info.fields_2d[11].soil_layer, 4);
  EXPECT_EQ(companion::display_name(w.info.fields_2d[11]), "mrsov4");
  EXPECT_EQ(w.info.fields_2d[1].pa_per_unit, 100.0f);  // M S L Pressure (hPa), exported in Pa
  EXPECT_EQ(w.info.fields_2d[1].cf_units, "Pa");
}

TEST(inspect_work_file, refuses_a_work_file_whose_size_does_not_match) {
  c2m::test::scratch_dir dir;
  const std::string path = dir / "w";
  test::write_case(test::make_case(4, 3, 2), path);
  std::string bytes = c2m::test::read_file(path);

  // One record short, and one float too many (stale bytes of an earlier, larger run).
  for (const std::string& wrong : {bytes.substr(0, bytes.size() - 48), bytes + "abcd"}) {
    sample::write_file(path, wrong);
    const std::string e = error_of(path);
    EXPECT_NE(e.find(path + ": work file is " + std::to_string(wrong.size()) + " bytes"),
              std::string::npos)
        << e;
    EXPECT_NE(e.find("22 records of 4 x 3 floats (1056 bytes)"), std::string::npos) << e;
    EXPECT_EQ(e.find("earlier, larger conversion") != std::string::npos, wrong.size() > 1056) << e;
    // The info alone, for a reader that goes through the records itself, is refused alike.
    EXPECT_EQ(error_of(path, companion::read_work_info), e);
  }
}

TEST(inspect_work_file, refuses_missing_and_malformed_info_files_naming_the_file) {
  c2m::test::scratch_dir dir;
  const std::string path = dir / "w";
  const std::string info = path + ".gdsinfo";
  test::write_case(test::make_case(4, 3, 2), path);
  const std::string good = c2m::test::read_file(info);

  std::remove(info.c_str());
  EXPECT_NE(error_of(path).find(info + ": cannot open info file: No such file"), std::string::npos);

  const struct {
    const char* from;
    const char* to;
    const char* says;
  } cases[] = {
      {"=> Number of Levels", "levels", "line 1: expected an integer"},
      {"2  => Number", "2000000000  => Number", "ends before the 2000000000 pressures"},
      {"2  => Number", "0  => Number", "line 1: level count must be at least 1"},
      {"100000.000", "1e5x", "line 4: expected a pressure in Pa"},
      {"kgds(5)\n", "kgds(5) extra\n", "expected an integer and \"kgds(5)\""},
      {"4 kgds(2)", "0 kgds(2)", "has no points"},
      {"kgds(7)", "kgds(8)", "\"kgds(7)\""},
      {"Fields names", "Field names", "expected \"Fields names and writing order\""},
      {" Temperature               (K)\n", "", "lists 4 3-D and 12 surface fields"},
      {"         2D\n", "", "ends before 2D"},
  };
  for (const auto& c : cases) {
    sample::write_file(info, good);
    edit_info(path, c.from, c.to);
    const std::string e = error_of(path);
    EXPECT_EQ(e.rfind(info + ": ", 0), 0u) << e;
    EXPECT_NE(e.find(c.says), std::string::npos) << c.from << " -> " << e;
  }

  sample::write_file(info, good);
  std::remove(path.c_str());
  EXPECT_NE(error_of(path).find(path + ": cannot open work file"), std::string::npos);
}

TEST(inspect_work_file, finds_records_by_name_old_or_new_and_level_or_pressure) {
  c2m::test::scratch_dir dir;
  test::write_case(test::make_case(2, 2, 3), dir / "w");
  const companion::grid_info info =
      companion::parse_grid_info(c2m::test::read_file(dir / "w.gdsinfo"), "w.gdsinfo");
  EXPECT_EQ(companion::find_record(info, "uw", 1).number, 1);
  EXPECT_EQ(companion::find_record(info, "tp", 3).number, 15);
  EXPECT_EQ(companion::find_record(info, "tp", 3).pressure_hpa, 800.0f);
  EXPECT_EQ(companion::find_record(info, "lsm", 0).number, 16);
  EXPECT_EQ(companion::find_record(info, "sm4", 0).number, 27);
  EXPECT_EQ(companion::find_record(info, "ta", 3).number, 15);
  EXPECT_EQ(companion::find_record(info, "sftlf", 0).number, 16);
  EXPECT_EQ(companion::find_record(info, "tsl1", 0).number, 20);
  EXPECT_EQ(companion::find_record(info, "mrsov4", 0).number, 27);
  EXPECT_EQ(companion::level_of_pressure(info, 900.0), 2);
  EXPECT_EQ(companion::level_of_pressure(info, 800.001), 3);
  // Every older name still finds its record: scripts written against them keep working.
  const char* const old_surface[] = {"lsm", "mslp", "psfc", "topo", "st1", "sm1",
                                     "st2", "sm2",  "st3",  "sm3",  "st4", "sm4"};
  for (int k = 0; k < 12; ++k)
    EXPECT_EQ(companion::find_record(info, old_surface[k], 0).number, 16 + k);
  EXPECT_EQ(companion::find_record(info, "vw", 2).number, 5);
  EXPECT_EQ(companion::find_record(info, "ht", 1).number, 7);
  EXPECT_EQ(companion::find_record(info, "q", 1).number, 10);

  const auto error = [&](const char* name, std::int32_t level) {
    try {
      companion::find_record(info, name, level);
    } catch (const run_error& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_NE(error("tp", 0).find("tp is a 3-D field: give a LEVEL from 1 (bottom, 1000 hPa) to 3"),
            std::string::npos);
  EXPECT_NE(error("tp", 4).find("level 4 of tp does not exist"), std::string::npos);
  EXPECT_NE(error("lsm", 1).find("lsm is a surface field"), std::string::npos);
  EXPECT_NE(error("rh", 1).find("unknown field 'rh'; this work file holds ua va zg hus ta sftlf "
                                "psl ps orog tsl1 mrsov1 tsl2"),
            std::string::npos);
  EXPECT_NE(error("tsl", 0).find("unknown field 'tsl'"), std::string::npos);  // give the layer
  try {
    companion::level_of_pressure(info, 500.0);
    ADD_FAILURE() << "a pressure without a level was taken";
  } catch (const run_error& e) {
    EXPECT_EQ(std::string(e.what()), "no level at 500 hPa; the levels are (hPa) 1000 900 800");
  }
}

TEST(inspect_work_file, names_unknown_fields_from_their_text) {
  const companion::field_desc d = companion::describe_field("Cloud water, total (kg/kg)");
  EXPECT_EQ(d.short_name, "cloud_water_total");
  EXPECT_EQ(d.units, "kg/kg");
  EXPECT_FALSE(d.range.checked);
  EXPECT_EQ(d.cf_units, "kg/kg");
  EXPECT_EQ(d.grib1_code, 0);  // nothing for CDO to mistake
  EXPECT_EQ(companion::describe_field("Snow depth ( )").cf_units, "1");
  EXPECT_EQ(companion::describe_field("Snow depth (0-1)").cf_units, "1");
}

}  // namespace
}  // namespace c2m::inspect

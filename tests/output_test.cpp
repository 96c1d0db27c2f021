#include "output/output.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "common/line_layout.hpp"
#include "common/work_layout.hpp"
#include "tests/support/scratch.hpp"

namespace c2m {
namespace {

// A run whose every grid point holds a value that tells where it came from:
// field code * 1e6 + level * 1e4 + point index.
run_state tagged_run(const std::string& input_name, std::int32_t im, std::int32_t jm,
                     std::int32_t lm) {
  run_state run;
  run.im = im;
  run.jm = jm;
  run.lm = lm;
  run.input_name = input_name;
  int code = 1;
  for (grid* g : {&run.uw, &run.vw, &run.ht, &run.qnew2, &run.tp, &run.slp}) {
    *g = make_grid(im, jm, g == &run.slp ? 12 : lm);
    for (std::int32_t l = 1; l <= g->nl; ++l)
      for (std::size_t p = 0; p < g->level_size(); ++p)
        g->level(l)[p] = static_cast<float>(code * 1000000 + l * 10000) + static_cast<float>(p);
    ++code;
  }
  for (std::int32_t l = 1; l <= lm; ++l)
    run.pr.push_back(1000.0f - 100.0f * static_cast<float>(l - 1));
  run.kgds[1] = 0;
  run.kgds[4] = -90000;
  return run;
}

std::string convert_outputs(run_state& run) {
  testing::internal::CaptureStdout();
  unique_fd fd = open_work_file(run);
  write_gds_info(run);
  write_work_file(run, std::move(fd));
  return testing::internal::GetCapturedStdout();
}

TEST(work_file, records_lie_at_their_offsets_in_field_order) {
  test::scratch_dir dir;
  run_state run = tagged_run(dir / "an.bin", 200, 100, 10);
  convert_outputs(run);
  const std::string bytes = test::read_file(dir / "an.bin.ORUwrk");
  ASSERT_EQ(bytes.size(), 4960000u);  // 62 records of 80,000 bytes
  const std::size_t points = 200 * 100;
  EXPECT_EQ(test::work_record(bytes, points, 1)[0], 1010000.0f);       // uw level 1
  EXPECT_EQ(test::work_record(bytes, points, 11)[5], 2010005.0f);      // vw level 1
  EXPECT_EQ(test::work_record(bytes, points, 30)[0], 3100000.0f);      // ht level 10
  EXPECT_EQ(test::work_record(bytes, points, 31)[0], 4010000.0f);      // qnew2 level 1
  EXPECT_EQ(test::work_record(bytes, points, 50)[7], 5100007.0f);      // tp level 10
  EXPECT_EQ(test::work_record(bytes, points, 51)[0], 6010000.0f);      // land-sea mask
  EXPECT_EQ(test::work_record(bytes, points, 62)[19999], 6139999.0f);  // soil moisture 4
}

TEST(work_file, an_existing_file_is_overwritten_in_place) {
  test::scratch_dir dir;
  const std::string name = dir / "an.bin.ORUwrk";
  const std::size_t new_size = (5 * 1 + 12) * 4 * 4 * 4;
  const std::string tail = "tail bytes that stay";
  test::write_text(name, std::string(new_size, 'x') + tail);
  run_state run = tagged_run(dir / "an.bin", 4, 4, 1);
  convert_outputs(run);
  const std::string longer = test::read_file(name);
  ASSERT_EQ(longer.size(), new_size + tail.size());
  EXPECT_EQ(longer.substr(new_size), tail);
  EXPECT_EQ(test::work_record(longer, 16, 17)[15], 6120015.0f);

  test::write_text(name, "short");
  convert_outputs(run);
  EXPECT_EQ(test::read_file(name), longer.substr(0, new_size));
}

TEST(work_file, progress_lines_and_surface_sample) {
  test::scratch_dir dir;
  run_state run = tagged_run(dir / "an.bin", 3, 3, 1);
  const std::string log = convert_outputs(run);
  std::string field = dir / "an.bin.ORUwrk ";
  field.resize(layout::name_field, ' ');
  const std::string work = dir / "an.bin.ORUwrk";
  std::string expected = " " + field + "\n ORUwrk  data ---> " + work + "\n";
  expected += " calling get_fullgds with " + (dir / "an.bin") + "\n back from get_fullgds\n";
  expected +=
      " writing kgds            0           3           3      -90000           0         128"
      "           0           0           0           0          64           0           0"
      "           0\n";
  expected += " GDS written to " + work + ".gdsinfo\n past 14 close\n starting writes to unit1\n";
  expected += " writing these sfc values to the ORUwrk  file...\n";
  // 3 x 3 grid: the sample points are (1, 1), point index 0, and (2, 2), index 4.
  for (int k = 1; k <= 12; ++k)
    expected += format_line({"field, value ", k, static_cast<float>(6000000 + k * 10000)});
  for (int k = 1; k <= 12; ++k)
    expected += format_line({"field, value ", k, static_cast<float>(6000004 + k * 10000)});
  EXPECT_EQ(log, expected);
}

TEST(work_file, one_point_axes_sample_index_one) {
  test::scratch_dir dir;
  run_state run = tagged_run(dir / "an.bin", 1, 1, 1);
  const std::string log = convert_outputs(run);
  EXPECT_NE(log.find(format_line({"field, value ", 12, 6120000.0f})), std::string::npos);
}

TEST(gds_info, exact_text_for_a_small_case) {
  test::scratch_dir dir;
  run_state run = tagged_run(dir / "an.bin", 2, 3, 3);
  run.pr = {1000.0f, 850.0f, 500.0f};
  convert_outputs(run);
  const std::string text = test::read_file(dir / "an.bin.ORUwrk.gdsinfo");
  const std::string expected =
      "           3  => Number of Levels\n"
      " Pressure in Pa\n"
      "   50000.0000    \n"
      "   85000.0000    \n"
      "   100000.000    \n"
      "           0 kgds(1)\n"
      "           2 kgds(2)\n"
      "           3 kgds(3)\n"
      "      -90000 kgds(4)\n"
      "           0 kgds(5)\n"
      "         128 kgds(6)\n"
      "           0 kgds(7)\n"
      "           0 kgds(8)\n"
      "           0 kgds(9)\n"
      "           0 kgds(10)\n"
      "          64 kgds(11)\n"
      "         255 kgds(12)\n"
      "\n"
      " Fields names and writing order\n"
      "\n"
      "         3D \n"
      " first written record: botton of the atmosphere\n"
      " Zonal wind                (m/s)\n"
      " Meridional wind           (m/s)\n"
      " Geopotential height       (m)\n"
      " Specific humidity         (kg/kg)\n"
      " Temperature               (K)\n"
      "\n"
      "         2D\n"
      " Land-sea mask             ( )\n"
      " M S L Pressure            (hPa)\n"
      " Surface Pressure          (hPa)\n"
      " Topography                (m)\n"
      " Soil Temperature  layer 1 (K)\n"
      " Soil Moisture layer 1     (0-1)\n"
      " Soil Temperature  layer 2 (K)\n"
      " Soil Moisture layer 2     (0-1)\n"
      " Soil Temperature  layer 3 (K)\n"
      " Soil Moisture layer 3     (0-1)\n"
      " Soil Temperature  layer 4 (K)\n"
      " Soil Moisture layer 4     (0-1)\n";
  EXPECT_EQ(text, expected);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 + 38);
}

TEST(gds_info, an_existing_info_file_is_replaced) {
  test::scratch_dir dir;
  test::write_text(dir / "an.bin.ORUwrk.gdsinfo", std::string(5000, 'z'));
  run_state run = tagged_run(dir / "an.bin", 2, 2, 1);
  convert_outputs(run);
  const std::string text = test::read_file(dir / "an.bin.ORUwrk.gdsinfo");
  EXPECT_EQ(text.find('z'), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 38);
}

}  // namespace
}  // namespace c2m

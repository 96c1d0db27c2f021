#include "common/grid_config_file.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/errors.hpp"
#include "driver/grid_config.hpp"
#include "driver/list_input.hpp"
#include "tests/support/scratch.hpp"

namespace c2m {
namespace {

const std::vector<double> levels{1000, 925, 7.5};

grid_config_file::contents config() {
  grid_config_file::contents c;
  c.title = "2026-01-02T00:00:00Z and more";
  c.im = 144;
  c.jm = 73;
  c.lm = 3;
  c.kgds.lat_first() = -90000;
  c.kgds.lon_last() = 357500;
  c.kgds.di() = 2500;
  c.kgds.dj() = 2500;
  c.kgds.scanning_mode() = 64;  // not a configured one: not written
  c.levels = levels;
  return c;
}

// The two styles, byte for byte as the preparer and the sample kit have written them.
TEST(grid_config_file, styles_byte_for_byte) {
  EXPECT_EQ(
      text(config(), grid_config_file::style::plain),
      "2026-01-02T00:00:00Z\n144 73 3\n0\n-90000\n0\n0\n357500\n2500\n2500\n1000\n925\n7.5\n");
  EXPECT_EQ(text(config(), grid_config_file::style::annotated),
            "2026-01-02T00:00:00Z and more\n"
            "144 73 3   ! im jm lm\n"
            "0   ! data representation type\n"
            "-90000   ! latitude of first point (millidegrees)\n"
            "0   ! longitude of first point\n"
            "0   ! latitude of last point\n"
            "357500   ! longitude of last point\n"
            "2500   ! increment along i\n"
            "2500   ! increment along j\n"
            "1000.0\n925.0\n7.5\n");
}

// What either style writes, the converter reads back.
TEST(grid_config_file, written_text_reads_back_in_the_converter) {
  for (const auto s : {grid_config_file::style::plain, grid_config_file::style::annotated}) {
    list_reader cfg(text(config(), s), "cfg");
    run_state run;
    read_grid_description(cfg, run);
    read_config_pressures(cfg, run);
    EXPECT_EQ(run.title, "2026-01-02T00:00:00Z");
    EXPECT_EQ(run.im, 144);
    EXPECT_EQ(run.jm, 73);
    EXPECT_EQ(run.lm, 3);
    kgds_values expected = config().kgds;
    expected.scanning_mode() = 0;
    EXPECT_EQ(run.kgds, expected);
    EXPECT_EQ(run.pr, (std::vector<float>{1000, 925, 7.5}));
  }
}

TEST(grid_config_file, written_under_its_name) {
  test::scratch_dir dir;
  grid_config_file::write(dir / "t", "shown", config(), grid_config_file::style::plain);
  EXPECT_EQ(test::read_file(dir / "t"), text(config(), grid_config_file::style::plain));
  EXPECT_EQ(grid_config_path, "./InputModelInf.txt");
  try {
    grid_config_file::write(dir / "no/t", "shown", config(), grid_config_file::style::plain);
    ADD_FAILURE() << "no error";
  } catch (const run_error& e) {
    EXPECT_STREQ(e.what(), "shown: cannot create output file: No such file or directory");
  }
}

}  // namespace
}  // namespace c2m

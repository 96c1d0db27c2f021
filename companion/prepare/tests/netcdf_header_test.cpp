// A classic netCDF file whose header gives counts beyond the file's end or a type the
// library does not know, or whose data would end beyond it (damaged, hostile or cut
// copies of the real packed ERA5-layout files) is refused before the netCDF library
// reads it, naming what does not fit; nothing is written. The same file with the count
// as it was, and its CDF-2 and CDF-5 copies, are read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "companion/prepare/tests/prepare_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::test {
namespace {

std::string layout(const std::string& name) {
  return quoted(std::string(LAYOUTS_DIR) + "/" + name);
}

// The packed single-level file as sfc.nc, changed by the shell command `damage`.
shell_result prepare_damaged(const scratch_dir& dir, const std::string& damage) {
  const shell_result made = shell(
      dir.path(), "cp " + layout("era5_old_sfc.nc") + " sfc.nc && chmod u+w sfc.nc && " + damage);
  EXPECT_EQ(made.status, 0) << made.err;
  return prepare(dir.path(), "-o out.bin " + layout("era5_old_pl.nc") + " sfc.nc");
}

// Four bytes of the header replaced.
std::string patch(int offset, const std::string& hex) {
  return "printf '" + hex + "' | dd of=sfc.nc bs=1 seek=" + std::to_string(offset) +
         " conv=notrunc status=none";
}

TEST(prepare_netcdf_header, counts_beyond_the_end_of_the_file_are_refused_before_reading) {
  struct damage {
    std::string command, says;
  };
  // In the header, bytes 4 to 7 are the record count, 8 to 11 the tag of the list of
  // dimensions, 16 to 19 the length of the first dimension's name ("time"), 2036 to 2039
  // the type of sp (a type the library does not know crashed it).
  const std::vector<damage> damages = {
      {patch(16, "\\177\\377\\377\\377"), "its header gives 2147483647 bytes of a name, more than"},
      {patch(8, "\\000\\000\\000\\013"), "its header has no list of dimensions where one belongs"},
      {patch(4, "\\377\\377\\377\\377"), "its header gives no record count"},
      {patch(2036, "\\000\\000\\000\\014"), "variable sp has type 12, not a classic netCDF type"},
      {"head -c 100 sfc.nc > cut.nc && mv cut.nc sfc.nc",
       "its header gives 64 attribute values, more than the 12 bytes left"},
  };
  for (const damage& d : damages) {
    SCOPED_TRACE(d.command);
    const scratch_dir dir;
    const shell_result r = prepare_damaged(dir, d.command);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("sfc.nc: not a valid netCDF file: " + d.says), std::string::npos) << r.err;
    EXPECT_FALSE(file_exists(dir / "out.bin"));
    EXPECT_FALSE(file_exists(dir / "InputModelInf.txt"));
  }
}

// A download that broke off: the library would read fill values beyond the end.
TEST(prepare_netcdf_header, a_file_cut_short_is_refused) {
  const scratch_dir dir;
  const shell_result made =
      shell(dir.path(), "head -c 1300000 " + layout("era5_old_pl.nc") + " > pl.nc");
  ASSERT_EQ(made.status, 0) << made.err;
  const shell_result r = prepare(dir.path(), "-o out.bin pl.nc " + layout("era5_old_sfc.nc"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("pl.nc: not a valid netCDF file: the data of variable u would end at "
                       "byte 1582304, the file has 1300000 bytes: it is cut short"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(file_exists(dir / "out.bin"));
  EXPECT_FALSE(file_exists(dir / "InputModelInf.txt"));
}

TEST(prepare_netcdf_header, every_classic_format_is_walked_and_read) {
  const scratch_dir dir;
  const shell_result same = prepare_damaged(dir, patch(16, "\\000\\000\\000\\004"));
  EXPECT_EQ(same.status, 0) << same.err;
  const shell_result made =
      shell(dir.path(), "nccopy -k cdf5 " + layout("era5_old_pl.nc") +
                            " pl5.nc && nccopy -k 64-bit-offset sfc.nc sfc2.nc");
  ASSERT_EQ(made.status, 0) << made.err;
  const shell_result r = prepare(dir.path(), "-o out2.bin pl5.nc sfc2.nc");
  EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace
}  // namespace c2m::test

// Values no analysis holds stop conv2model-prepare, naming the file, the field, its
// level, the point and the value, with nothing written: points made implausible in the
// real GFS fields (GRIB 2 and ERA5's NetCDF-4 layout), and a packed netCDF-3 file whose
// packing attributes were changed. --allow-implausible writes values outside their range, but
// never NaN or infinities; a NaN fill value still marks missing points.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/constants.hpp"
#include "companion/prepare/tests/prepare_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::test {
namespace {

constexpr std::int32_t im = 144, jm = 73, lm = 25;

std::string layout(const std::string& name) {
  return quoted(std::string(LAYOUTS_DIR) + "/" + name);
}

// Runs `make` in dir (a changed copy of a layout), then prepares from `files` there.
shell_result prepare_changed(const scratch_dir& dir, const std::string& make,
                             const std::string& options, const std::string& files) {
  const shell_result made = shell(dir.path(), make);
  EXPECT_EQ(made.status, 0) << make << "\n" << made.err;
  return prepare(dir.path(), options + " -o out.bin " + files);
}

void expect_refused(const scratch_dir& dir, const shell_result& r, const std::string& says) {
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(says), std::string::npos) << "expected: " << says << "\ngot: " << r.err;
  EXPECT_FALSE(file_exists(dir / "out.bin"));
  EXPECT_FALSE(file_exists(dir / "InputModelInf.txt"));
}

TEST(prepare_implausible, one_point_is_named_by_field_level_point_and_value) {
  const scratch_dir dir;
  // Latitudes run north to south in the file: index 1 is 87.5 N, written row 72.
  const std::string make =
      "ncap2 -O -s 't(0,3,1,2)=900.0f' " + layout("era5_new_pl.nc") + " hot.nc";
  const std::string files = "hot.nc " + layout("era5_new_sfc.nc");
  expect_refused(dir, prepare_changed(dir, make, "", files),
                 "hot.nc: variable t[pressure_level=3] (air_temperature): ta at 925 hPa holds 900 "
                 "at (i 3, j 72: 87.5 N, 5 E), outside its plausible range 150 to 350");

  const shell_result allowed = prepare(dir.path(), "--allow-implausible -o out.bin " + files);
  ASSERT_EQ(allowed.status, 0) << allowed.err;
  const input_fields a = read_input(dir / "out.bin", im, jm, lm);
  const std::size_t level_925 = 3, point = 71 * im + 2;
  EXPECT_EQ(a.upper[4][level_925 * im * jm + point], 900.0f);
}

TEST(prepare_implausible, a_land_sea_mask_beyond_a_fraction) {
  const scratch_dir dir;
  const std::string make =
      "ncap2 -O -s 'lsm(0,70,100)=7.0f' " + layout("era5_new_sfc.nc") + " lsm.nc";
  expect_refused(dir, prepare_changed(dir, make, "", layout("era5_new_pl.nc") + " lsm.nc"),
                 "lsm.nc: variable lsm (land_binary_mask): sftlf holds 7 at (i 101, j 3: 85 S, 110 "
                 "W), outside its plausible range 0 to 1");
}

TEST(prepare_implausible, nan_is_refused_even_when_implausible_values_are_allowed) {
  const scratch_dir dir;
  const std::string make =
      "ncap2 -O -s 'u(0,3,1,2)=0.0f/0.0f' " + layout("era5_new_pl.nc") + " nan.nc";
  expect_refused(
      dir, prepare_changed(dir, make, "--allow-implausible", "nan.nc " + layout("era5_new_sfc.nc")),
      "nan.nc: variable u[pressure_level=3] (eastward_wind): ua at 925 hPa holds nan at "
      "(i 3, j 72: 87.5 N, 5 E), not a finite number");
}

// The real packed file with one packing attribute changed, as a damaged or badly
// converted copy may have it: each is refused; --allow-implausible lets the finite ones
// through.
TEST(prepare_implausible, packed_netcdf3_with_changed_packing) {
  struct change {
    std::string attribute, file, says;
    bool finite;
  };
  const std::vector<change> changes = {
      {"scale_factor,t,o,f,-0.02", "pl",
       "variable t[level=24] (air_temperature): ta at 1000 hPa holds", true},
      {"add_offset,msl,o,f,150000", "sfc",
       "variable msl (air_pressure_at_mean_sea_level): psl holds", true},
      {"scale_factor,z,o,d,1e300", "pl",
       "variable z[level=24] (geopotential): zg at 1000 hPa holds inf", false},
      {"scale_factor,u,o,f,NaN", "pl",
       "variable u[level=24] (eastward_wind): ua at 1000 hPa holds nan", false},
  };
  for (const change& c : changes) {
    SCOPED_TRACE(c.attribute);
    const scratch_dir dir;
    const std::string other = c.file == "pl" ? "sfc" : "pl";
    const std::string make =
        "ncatted -O -a " + c.attribute + " " + layout("era5_old_" + c.file + ".nc") + " changed.nc";
    const std::string files = "changed.nc " + layout("era5_old_" + other + ".nc");
    expect_refused(dir, prepare_changed(dir, make, "", files), "changed.nc: " + c.says);
    const shell_result allowed = prepare(dir.path(), "--allow-implausible -o out.bin " + files);
    EXPECT_EQ(allowed.status, c.finite ? 0 : 1) << allowed.err;
    EXPECT_EQ(file_exists(dir / "out.bin"), c.finite);
  }
}

// GRIB goes through the same check: one message's values shifted by ecCodes.
TEST(prepare_implausible, a_grib_message_shifted_beyond_its_range) {
  const scratch_dir dir;
  const std::string make =
      "grib_set -w shortName=t,typeOfLevel=isobaricInhPa,level=500 -s offsetValuesBy=1000 " +
      quoted(gfs_grib2()) + " hot.grib2";
  expect_refused(
      dir, prepare_changed(dir, make, "", "hot.grib2"),
      "hot.grib2: message 101 (t, GRIB 2 0/0/0, 500 hPa): ta at 500 hPa holds 1238.69995");
}

// NaN as _FillValue (as xarray writes floats): the NaN points are missing (holes), not
// values refused as NaN.
TEST(prepare_implausible, a_nan_fill_value_marks_missing_points) {
  const scratch_dir dir;
  const std::string make = "ncks -O -3 " + layout("era5_new_pl.nc") +
                           " pl3.nc && ncap2 -O -s 'where(t >= 300) t=0.0f/0.0f' pl3.nc nan.nc "
                           "&& ncatted -O -a _FillValue,t,o,f,NaN -a missing_value,t,d,, nan.nc";
  const std::string files = "nan.nc " + layout("era5_new_sfc.nc");
  // Missing points are holes, which --allow-holes lets through.
  const shell_result holes = prepare_changed(dir, make, "", files);
  EXPECT_EQ(holes.status, 1);
  EXPECT_NE(holes.err.find("points without data"), std::string::npos) << holes.err;
  const shell_result r = prepare(dir.path(), "--allow-holes -o out.bin " + files);
  ASSERT_EQ(r.status, 0) << r.err;
  const input_fields a = read_input(dir / "out.bin", im, jm, lm);
  int fills = 0;
  for (const float t : a.upper[4]) fills += t == input_fill;
  EXPECT_GT(fills, 1000);
}

}  // namespace
}  // namespace c2m::test

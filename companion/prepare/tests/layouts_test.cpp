// The same GFS fields in the layouts other producers deliver (ERA5's two NetCDF
// layouts, GRIB 1), rebuilt with CDO and NCO, must give the input field file of the
// GRIB 2 source: same grid, levels and missing points, values equal to within what
// the layout can hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/constants.hpp"
#include "companion/prepare/tests/prepare_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::test {
namespace {

constexpr std::int32_t im = 144, jm = 73, lm = 25;

std::string layout(const std::string& name) {
  return std::string("'") + LAYOUTS_DIR + "/" + name + "'";
}

class prepare_layouts : public ::testing::Test {
 protected:
  // The layouts are made by the test prepare_make_layouts (era5_layouts.sh) in
  // LAYOUTS_DIR; each test prepares from them in a directory of its own.
  static void SetUpTestSuite() {
    dir_ = std::make_unique<scratch_dir>();
    const shell_result r = prepare(dir_->path(), "-o ref.bin '" + gfs_grib2() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    ref_config_ = read_file(*dir_ / "InputModelInf.txt");
  }
  static void TearDownTestSuite() { dir_.reset(); }

  // Prepares from `files` and compares with the GRIB 2 source. A value may differ from
  // the source's by `steps` of 1/65534 of its grid's range (packing), and by one unit
  // in the last place of the float (a unit change of a value already rounded to float).
  static void expect_same_as_source(const std::string& files, double steps) {
    const shell_result r = prepare(dir_->path(), "-o out.bin " + files);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(*dir_ / "InputModelInf.txt"), ref_config_);
    const input_fields a = read_input(*dir_ / "out.bin", im, jm, lm);
    const input_fields b = read_input(*dir_ / "ref.bin", im, jm, lm);
    EXPECT_EQ(a.pr, b.pr);
    const std::size_t n = static_cast<std::size_t>(im * jm);
    // The packing step: 1/65534 of the range of the variable packed, all its levels.
    const auto step = [&](const float* y, std::size_t count) {
      float lo = INFINITY, hi = -INFINITY;
      for (std::size_t p = 0; p < count; ++p)
        if (y[p] != input_fill) lo = std::min(lo, y[p]), hi = std::max(hi, y[p]);
      return (double(hi) - double(lo)) / 65534.0;
    };
    const auto compare = [&](const float* x, const float* y, double tol, const std::string& what) {
      int bad = 0;
      for (std::size_t p = 0; p < n; ++p) {
        const bool fill_x = x[p] == input_fill, fill_y = y[p] == input_fill;
        const bool ok = fill_x || fill_y ? fill_x == fill_y
                                         : std::fabs(double(x[p]) - double(y[p])) <= tol ||
                                               std::nextafter(x[p], y[p]) == y[p];
        if (!ok && ++bad <= 3)
          ADD_FAILURE() << what << " point " << p << ": " << x[p] << ", source " << y[p];
      }
      EXPECT_EQ(bad, 0) << what;
    };
    const char* names[5] = {"u", "v", "gh", "r", "t"};
    for (int k = 0; k < 5; ++k) {
      const double tol = steps * step(b.upper[k].data(), b.upper[k].size());
      for (std::size_t l = 0; l < static_cast<std::size_t>(lm); ++l)
        compare(a.upper[k].data() + l * n, b.upper[k].data() + l * n, tol,
                std::string(names[k]) + " level " + std::to_string(l + 1));
    }
    for (std::size_t k = 0; k < 12; ++k)
      compare(a.slp.data() + k * n, b.slp.data() + k * n, steps * step(b.slp.data() + k * n, n),
              "surface field " + std::to_string(k + 1));
  }

  static std::unique_ptr<scratch_dir> dir_;
  static std::string ref_config_;
};

std::unique_ptr<scratch_dir> prepare_layouts::dir_;
std::string prepare_layouts::ref_config_;

TEST_F(prepare_layouts, era5_netcdf4_float_is_the_source_to_the_last_bit) {
  expect_same_as_source(layout("era5_new_pl.nc") + " " + layout("era5_new_sfc.nc"), 0.0);
}

TEST_F(prepare_layouts, era5_netcdf3_packed_shorts_within_a_packing_step) {
  expect_same_as_source(layout("era5_old_sfc.nc") + " " + layout("era5_old_pl.nc"), 1.0);
}

TEST_F(prepare_layouts, grib1_written_by_cdo_within_its_24_bit_packing) {
  // 24 bits per value: a step of 1/2^24 of the range, 1/256 of a 16-bit step.
  expect_same_as_source(layout("gfs.grib1"), 1.0 / 256.0);
}

// Temperatures of 300 K and above made missing, as a float fill value and, packed, as
// the short _FillValue: refused, naming the field, the level, the count and the first
// point; with --allow-holes those points, and only those, hold the input fill value.
TEST_F(prepare_layouts, missing_points_are_refused_unless_allowed) {
  const shell_result made =
      shell(dir_->path(), "cdo -s -f nc2 -setmissval,-32767 -setrtomiss,300,1000 -selname,t " +
                              layout("era5_new_pl.nc") +
                              " hot.nc && ncpdq -O -P all_new -M flt_sht hot.nc hot_packed.nc && "
                              "ncks -O -x -v t " +
                              layout("era5_new_pl.nc") + " no_t.nc");
  ASSERT_EQ(made.status, 0) << made.err;
  const input_fields ref = read_input(*dir_ / "ref.bin", im, jm, lm);
  for (const char* hot : {"hot.nc", "hot_packed.nc"}) {
    // The other levels come without their t: a field given twice with other values is
    // refused before its holes are looked at.
    const std::string files = std::string(hot) + " no_t.nc " + layout("era5_new_sfc.nc");
    ASSERT_EQ(shell(dir_->path(), "rm -f hot.bin").status, 0);
    const shell_result refused = prepare(dir_->path(), "-o hot.bin " + files);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find(std::string(hot) +
                               ": variable t[pressure_level=0] "
                               "(air_temperature): ta 1000 hPa has 888 of 10512 points without "
                               "data, the first at 32.5 S 20 E (and 5 more fields); refused "
                               "(--allow-holes accepts them: conv2model writes -99999 there"),
              std::string::npos)
        << refused.err;
    EXPECT_FALSE(file_exists(*dir_ / "hot.bin"));
    const shell_result r = prepare(dir_->path(), "--allow-holes -o hot.bin " + files);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: " + std::string(hot) + ": variable t[pressure_level=5] "),
              std::string::npos)
        << r.err;
    const input_fields a = read_input(*dir_ / "hot.bin", im, jm, lm);
    int fills = 0, bad = 0;
    for (std::size_t p = 0; p < a.upper[4].size(); ++p) {
      const bool hot_point = ref.upper[4][p] >= 300.0f;
      fills += a.upper[4][p] == input_fill;
      if ((a.upper[4][p] == input_fill) != hot_point) ++bad;
    }
    EXPECT_GT(fills, 1000) << hot;
    EXPECT_EQ(bad, 0) << hot;
  }
}

// Pressures in hPa are taken as they are; a fractional land-sea mask is made 0/1 at 0.5
// (land 1 becomes 0.5, sea 0 becomes 0.49: the same mask).
TEST_F(prepare_layouts, pressure_units_and_mask_fractions) {
  const shell_result made =
      shell(dir_->path(),
            "ncap2 -O -s 'msl=msl/100;sp=sp/100;lsm=0.5f-lsm*0.01f+(lsm-0.5f)*0.02f' " +
                layout("era5_new_sfc.nc") +
                " sfc_hpa.nc && ncatted -O -a units,msl,o,c,hPa -a units,sp,o,c,hPa sfc_hpa.nc");
  ASSERT_EQ(made.status, 0) << made.err;
  const shell_result r =
      prepare(dir_->path(), "-o hpa.bin " + layout("era5_new_pl.nc") + " sfc_hpa.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  const input_fields a = read_input(*dir_ / "hpa.bin", im, jm, lm);
  const input_fields ref = read_input(*dir_ / "ref.bin", im, jm, lm);
  const std::size_t n = static_cast<std::size_t>(im * jm);
  EXPECT_TRUE(std::equal(a.slp.begin(), a.slp.begin() + n, ref.slp.begin()));  // mask
  for (std::size_t p = n; p < 3 * n; ++p)  // msl, sp: within a float's last bit
    ASSERT_LE(std::fabs(a.slp[p] - ref.slp[p]), 2e-7f * ref.slp[p]) << p;
}

// The same fields again six hours later (cdo shifttime), in the same files: two valid
// times, refused unless one is chosen or each is written.
TEST_F(prepare_layouts, several_valid_times_in_one_call) {
  const std::string source = std::string("\"") + LAYOUTS_DIR + "/era5_new_$f.nc\"";
  const shell_result made =
      shell(dir_->path(), "for f in pl sfc; do cdo -s -f nc2 -shifttime,6hour " + source +
                              " later_$f.nc && cdo -s -f nc2 mergetime " + source +
                              " later_$f.nc two_$f.nc; done");
  ASSERT_EQ(made.status, 0) << made.err;
  const shell_result r = prepare(dir_->path(), "-o two.bin two_pl.nc two_sfc.nc");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "conv2model-prepare: the files hold 2 valid times, 2011-01-15T12:00Z and "
            "2011-01-15T18:00Z; choose one with --time T, or prepare each with --each-time and "
            "a name pattern such as -o gfs_%Y%m%d%H.bin\n");
  EXPECT_FALSE(file_exists(*dir_ / "two.bin"));

  const shell_result single = prepare(
      dir_->path(), "-o one.bin " + layout("era5_new_pl.nc") + " " + layout("era5_new_sfc.nc"));
  ASSERT_EQ(single.status, 0) << single.err;
  const std::string want = read_file(*dir_ / "one.bin");
  const shell_result one =
      prepare(dir_->path(), "--time 2011-01-15T18 -o t18.bin two_pl.nc two_sfc.nc");
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_TRUE(read_file(*dir_ / "t18.bin") == want);

  const shell_result each =
      prepare(dir_->path(), "--each-time -o 'each_%d%H.bin' two_pl.nc two_sfc.nc");
  ASSERT_EQ(each.status, 0) << each.err;
  EXPECT_NE(each.out.find("wrote each_1512.bin: 144 x 73 points"), std::string::npos) << each.out;
  EXPECT_NE(each.out.find("wrote each_1518.bin: 144 x 73 points"), std::string::npos) << each.out;
  EXPECT_TRUE(read_file(*dir_ / "each_1512.bin") == want);
  EXPECT_TRUE(read_file(*dir_ / "each_1518.bin") == want);
  EXPECT_EQ(read_file(*dir_ / "InputModelInf.txt"), ref_config_);

  // Surface fields of one time only: the other time lacks them, and says why.
  const shell_result part =
      prepare(dir_->path(), "--each-time -o 'p_%H.bin' two_pl.nc " + layout("era5_new_sfc.nc"));
  EXPECT_EQ(part.status, 1);
  EXPECT_NE(part.err.find("valid at 2011-01-15T18:00Z: no sftlf (land-sea mask) in the input"),
            std::string::npos)
      << part.err;
}

// ERA5 as NCAR archives it: one variable per file, upper-case names without a
// standard_name, each holding the hours of a day (here 12 and 18 UTC, the second made
// with cdo shifttime), and the land-sea mask and surface geopotential in an invariant
// file dated 1979-01-01 (cdo settaxis). All passed at once, each hour gets its file,
// with the invariant fields.
TEST_F(prepare_layouts, era5_as_ncar_archives_it_with_an_invariant_file) {
  const std::string dir = std::string("\"") + LAYOUTS_DIR + "\"";
  const shell_result made = shell(
      dir_->path(),
      "set -e; mkdir -p ncar && cd ncar; src=" + dir +
          "; one_variable() { ncks -3 -O -v $2 $1 $4; ncrename -O -v $2,$3 $4; "
          "ncatted -O -a standard_name,$3,d,, $4; }; "
          "for f in pl sfc; do cdo -s -f nc2 -shifttime,6hour $src/era5_new_$f.nc later.nc; "
          "cdo -s -f nc2 mergetime $src/era5_new_$f.nc later.nc day_$f.nc; done; "
          "for v in u v z r t; do V=$(echo $v | tr a-z A-Z); one_variable day_pl.nc $v $V $V.nc; "
          "done; "
          "for v in msl sp stl1 stl2 stl3 stl4 swvl1 swvl2 swvl3 swvl4; do "
          "V=$(echo $v | tr a-z A-Z); one_variable day_sfc.nc $v $V $V.nc; done; "
          "cdo -s -f nc2 -settaxis,1979-01-01,00:00:00 -selname,lsm,z $src/era5_new_sfc.nc inv.nc; "
          "one_variable inv.nc lsm LSM invariant_LSM.nc; one_variable inv.nc z Z invariant_Z.nc; "
          "rm later.nc day_*.nc inv.nc");
  ASSERT_EQ(made.status, 0) << made.err;
  const shell_result single = prepare(
      dir_->path(), "-o one.bin " + layout("era5_new_pl.nc") + " " + layout("era5_new_sfc.nc"));
  ASSERT_EQ(single.status, 0) << single.err;
  const shell_result r = prepare(dir_->path(), "--each-time -o 'ncar_%H.bin' ncar/*.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(read_file(*dir_ / "ncar_12.bin") == read_file(*dir_ / "one.bin"));
  EXPECT_TRUE(read_file(*dir_ / "ncar_18.bin") == read_file(*dir_ / "one.bin"));
}

// ERA5's final and preliminary data in one file: an expver axis of 2 before time (made
// with ncecat -u expver from two copies). Refused naming the axis and the fix.
TEST_F(prepare_layouts, an_expver_axis_is_refused_naming_it_and_the_fix) {
  const shell_result made = shell(dir_->path(), "ncecat -O -u expver " + layout("era5_new_sfc.nc") +
                                                    " " + layout("era5_new_sfc.nc") + " expver.nc");
  ASSERT_EQ(made.status, 0) << made.err;
  const shell_result r =
      prepare(dir_->path(), "-o x.bin " + layout("era5_new_pl.nc") + " expver.nc");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("expver.nc: variable lsm has the axis expver of 2 (ERA5's final and "
                       "preliminary data in one file); keep one, for example with ncks -d "
                       "expver,0 in.nc out.nc"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(file_exists(*dir_ / "x.bin"));
}

// GRIB 1 soil layers whose bottom is coded missing (255; grib_set bottomLevel=255 on the
// layers of the GRIB 1 layout): listed as not recognised, and refused as soil absent.
TEST_F(prepare_layouts, soil_layers_not_recognised_are_named) {
  const shell_result made =
      shell(dir_->path(), "grib_copy -w indicatorOfTypeOfLevel=112 " + layout("gfs.grib1") +
                              " soil.grib1 && grib_set -s bottomLevel=255 soil.grib1 soil255.grib1 "
                              "&& grib_copy -w indicatorOfTypeOfLevel!=112 " +
                              layout("gfs.grib1") + " no_soil.grib1");
  ASSERT_EQ(made.status, 0) << made.err;
  const shell_result inv = prepare(dir_->path(), "--inventory soil255.grib1 no_soil.grib1");
  ASSERT_EQ(inv.status, 0) << inv.err;
  EXPECT_NE(inv.out.find("ignored, a soil layer of another layering: soil255.grib1: message 2 "
                         "(st, GRIB 1 table 2 code 85, 10 cm below ground, no bottom given)\n"),
            std::string::npos)
      << inv.out;
  const shell_result r = prepare(dir_->path(), "-o soil.bin soil255.grib1 no_soil.grib1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("conv2model-prepare: no tsl1 (soil temperature layer 1), mrsov1 (soil "
                       "moisture layer 1), tsl2"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("; not recognised: soil255.grib1: message 1 (st, GRIB 1 table 2 code 85, "
                       "0 cm below ground, no bottom given);"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(file_exists(*dir_ / "soil.bin"));
}

// A NetCDF-4 file cut short (head -c): the failure says what it most likely is.
TEST_F(prepare_layouts, a_netcdf_file_cut_short_is_said_to_be) {
  const shell_result made =
      shell(dir_->path(), "head -c 20000 " + layout("era5_new_sfc.nc") + " > cut.nc");
  ASSERT_EQ(made.status, 0) << made.err;
  const shell_result r =
      prepare(dir_->path(), "-o cut.bin " + layout("era5_new_pl.nc") + " cut.nc");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cut.nc: cannot open NetCDF file: nc_open: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("(the file looks cut short or damaged)"), std::string::npos) << r.err;
}

// CDO's NetCDF of the GFS fields: soil temperature as t_3 (air temperature's name and
// code) and soil moisture as soilw, on a depth axis with the layers' bounds.
TEST_F(prepare_layouts, cdo_netcdf_with_soil_on_a_depth_axis) {
  const shell_result made = shell(
      dir_->path(),
      "cdo -s -f nc4 copy " + layout("sel.grib2") +
          " cdo_gfs.nc 2>/dev/null && ncdump -h cdo_gfs.nc | grep -c '(time, depth, lat, lon)'");
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_EQ(made.out, "2\n");
  expect_same_as_source("cdo_gfs.nc", 0.0);
}

// The GFS fields rebuilt in the GRIB layouts of IFS open data, ICON and ERA5 from the
// CDS (producer_layouts.sh, from the keys of ecCodes' definitions).
std::string producer(const std::string& name) {
  return layout("producers/" + name);
}

TEST_F(prepare_layouts, ifs_open_data_is_the_gfs_preparation_to_the_last_bit) {
  const shell_result r = prepare(dir_->path(), "-o ifs.bin " + producer("ifs.grib2"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(read_file(*dir_ / "ifs.bin") == read_file(*dir_ / "ref.bin"));
  EXPECT_EQ(read_file(*dir_ / "InputModelInf.txt"), ref_config_);
  const shell_result inv = prepare(dir_->path(), "--inventory " + producer("ifs.grib2"));
  ASSERT_EQ(inv.status, 0) << inv.err;
  EXPECT_NE(inv.out.find("tsl4          " + std::string(LAYOUTS_DIR) +
                         "/producers/ifs.grib2: message 140 (sot, GRIB 2 2/3/18, soil level 3-4 "
                         "(1-2.89 m below ground))\n"),
            std::string::npos)
      << inv.out;
}

// ERA5 from the CDS: GRIB 1 upper air and soil with ECMWF's table 128 at 24 bits, GRIB 2
// single-level fields, in one file.
TEST_F(prepare_layouts, era5_grib_from_the_cds_mixes_grib1_and_grib2) {
  expect_same_as_source(producer("era5_mixed.grib"), 1.0 / 256.0);
}

// ICON on its regular grid: the upper air and the surface are GFS's own fields (FI and
// the FR_LAND fractions give them back); the soil of nine T_SO nodes and eight W_SO
// layers is mapped onto GFS's four layers. Held at named land points to the truth by
// formula from the messages' own values (grib_get_data): the column's water down to 2 m,
// and each layer's temperature linear between the nodes around its mid-depth.
TEST_F(prepare_layouts, icon_soil_is_mapped_keeping_the_water_and_the_nodes_temperature) {
  const shell_result r = prepare(dir_->path(), "-o icon.bin " + producer("icon.grib2"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("conv2model-prepare: note: soil mapped onto the layers 0-0.1, 0.1-0.4, "
                       "0.4-1, 1-2 m: temperature linear in depth at their mid-depths from 0, "
                       "0.005, 0.02, 0.06, 0.18, 0.54, 1.62, 4.86, 14.58 m"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(read_file(*dir_ / "InputModelInf.txt"), ref_config_);
  const input_fields a = read_input(*dir_ / "icon.bin", im, jm, lm);
  const input_fields b = read_input(*dir_ / "ref.bin", im, jm, lm);
  const std::size_t n = static_cast<std::size_t>(im * jm);
  for (int k = 0; k < 5; ++k)
    for (std::size_t p = 0; p < a.upper[k].size(); ++p)
      ASSERT_TRUE(a.upper[k][p] == b.upper[k][p] ||
                  std::nextafter(a.upper[k][p], b.upper[k][p]) == b.upper[k][p])
          << "upper field " << k << " point " << p;
  EXPECT_TRUE(std::equal(a.slp.begin(), a.slp.begin() + 4 * long(n), b.slp.begin()));

  const std::string icon = std::string(LAYOUTS_DIR) + "/producers/icon.grib2";
  const double node[9] = {0, 0.005, 0.02, 0.06, 0.18, 0.54, 1.62, 4.86, 14.58};
  const long node_mm[9] = {0, 5, 20, 60, 180, 540, 1620, 4860, 14580};
  const double bound[9] = {0, 0.01, 0.03, 0.09, 0.27, 0.81, 2.43, 7.29, 21.87};
  const long bound_cm[8] = {0, 1, 3, 9, 27, 81, 243, 729};
  std::vector<point_values> t, w;
  for (const long mm : node_mm)
    t.push_back(grib_points(
        icon, "parameterNumber=18,scaledValueOfFirstFixedSurface=" + std::to_string(mm)));
  for (const long cm : bound_cm)
    w.push_back(grib_points(
        icon, "parameterNumber=20,scaledValueOfFirstFixedSurface=" + std::to_string(cm)));
  const double target[5] = {0, 0.1, 0.4, 1.0, 2.0};
  // Germany, the Great Plains, Australia, Siberia: (latitude, longitude) in degrees.
  const double points[4][2] = {{50, 10}, {40, 260}, {-25, 135}, {60, 100}};
  for (const auto& pt : points) {
    const auto j = static_cast<std::size_t>((pt[0] + 90) / 2.5);
    const auto i = static_cast<std::size_t>(pt[1] / 2.5);
    const std::size_t p = j * static_cast<std::size_t>(im) + i;
    ASSERT_EQ(a.slp[p], 1.0f) << pt[0] << " " << pt[1] << " is land";
    const auto key = std::make_pair(std::llround(pt[0] * 1000), std::llround(pt[1] * 1000));
    double source = 0, mapped = 0;
    for (std::size_t l = 0; l < 8; ++l)
      source += w[l].at(key) * std::max(0.0, std::min(bound[l + 1], 2.0) - bound[l]) /
                (bound[l + 1] - bound[l]);
    for (std::size_t l = 0; l < 4; ++l) {
      const float theta = a.slp[(5 + 2 * l) * n + p];
      mapped += double(theta) * 1000.0 * (target[l + 1] - target[l]);
      // Temperature at the mid-depth, between the nodes around it.
      const double mid = (target[l] + target[l + 1]) / 2;
      std::size_t up = 1;
      while (node[up] < mid) ++up;
      const double t0 = t[up - 1].at(key), t1 = t[up].at(key);
      const double want = t0 + (t1 - t0) * (mid - node[up - 1]) / (node[up] - node[up - 1]);
      const float got = a.slp[(4 + 2 * l) * n + p];
      EXPECT_NEAR(got, want, 1e-4) << "layer " << l + 1 << " at " << pt[0] << " " << pt[1];
      EXPECT_GE(got, std::min(t0, t1) - 1e-4);
      EXPECT_LE(got, std::max(t0, t1) + 1e-4);
    }
    EXPECT_NEAR(mapped, source, 1e-6 * source) << pt[0] << " " << pt[1];
  }
}

// The inventory of a soil slot mapped from other layers names every source layer it is
// made from, with its weight: for moisture the share of the target layer each overlaps
// (0-0.1 m from 0-0.01, 0.01-0.03, 0.03-0.09 and 0.09-0.27 m: 0.1, 0.2, 0.6 and 0.1),
// for temperature the two nodes around the mid-depth (0.05 m, between 0.02 and 0.06 m:
// 0.25 and 0.75).
TEST_F(prepare_layouts, the_inventory_names_every_source_of_a_mapped_soil_layer) {
  const shell_result inv = prepare(dir_->path(), "--inventory " + producer("icon.grib2"));
  ASSERT_EQ(inv.status, 0) << inv.err;
  // The depths and weight of each line of a slot: its own line and the "and" lines after.
  const auto sources = [&](const std::string& slot) {
    std::vector<std::pair<std::string, double>> found;
    std::istringstream lines(inv.out);
    bool in = false;
    for (std::string line; std::getline(lines, line);) {
      in = line.rfind(slot + " ", 0) == 0 || (in && line.rfind("  and ", 0) == 0);
      if (!in) continue;
      const std::size_t end = line.find(" m below ground)"), open = line.rfind(' ', end - 1);
      const std::size_t weight = line.rfind(", weight ");
      if (end == std::string::npos || open == std::string::npos || weight == std::string::npos) {
        ADD_FAILURE() << line;
        continue;
      }
      found.emplace_back(line.substr(open + 1, end - open - 1), std::stod(line.substr(weight + 9)));
    }
    return found;
  };
  const std::vector<std::pair<std::string, double>> water = {
      {"0-0.01", 0.1}, {"0.01-0.03", 0.2}, {"0.03-0.09", 0.6}, {"0.09-0.27", 0.1}};
  const std::vector<std::pair<std::string, double>> temperature = {{"0.02", 0.25}, {"0.06", 0.75}};
  for (const auto& [slot, want] : {std::make_pair(std::string("mrsov1"), water),
                                   std::make_pair(std::string("tsl1"), temperature)}) {
    const auto got = sources(slot);
    ASSERT_EQ(got.size(), want.size()) << slot << "\n" << inv.out;
    for (std::size_t k = 0; k < want.size(); ++k) {
      EXPECT_EQ(got[k].first, want[k].first) << slot;
      EXPECT_NEAR(got[k].second, want[k].second, 1e-5) << slot << " " << want[k].first;
    }
  }
}

// ICON's soil asked onto IFS's layers, deeper than 2 m: the water down to 2.89 m is kept;
// a target below all the water layers is refused naming the depths.
TEST_F(prepare_layouts, soil_layers_asked_for_are_mapped_onto_or_refused_naming_the_depths) {
  const shell_result r =
      prepare(dir_->path(),
              "--soil-layers 0-7,7-28,28-100,100-289 -o icon_ifs.bin " + producer("icon.grib2"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("soil mapped onto the layers 0-0.07, 0.07-0.28, 0.28-1, 1-2.89 m"),
            std::string::npos)
      << r.err;
  const shell_result deep =
      prepare(dir_->path(),
              "--soil-layers 0-10,10-100,100-1000,1000-3000 -o deep.bin " + producer("icon.grib2"));
  EXPECT_EQ(deep.status, 1);
  EXPECT_NE(deep.err.find("the target layer 10-30 m lies deeper than the soil moisture reaches "
                          "(0-0.01, 0.01-0.03, 0.03-0.09, 0.09-0.27, 0.27-0.81, 0.81-2.43, "
                          "2.43-7.29, 7.29-21.87 m)"),
            std::string::npos)
      << deep.err;
  EXPECT_FALSE(file_exists(*dir_ / "deep.bin"));
}

// NCEP's soil moisture code 2/0/192 relabelled as ECMWF's: not soil moisture there, so
// the soil moisture is absent; the inventory lists the messages as not used.
TEST_F(prepare_layouts, a_local_code_means_nothing_under_another_centre) {
  const shell_result r =
      prepare(dir_->path(), "-o c98.bin " + producer("ncep_local_as_ecmwf.grib2"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no mrsov1 (soil moisture layer 1), mrsov2 (soil moisture layer 2), mrsov3 "
                       "(soil moisture layer 3), mrsov4 (soil moisture layer 4) in the input"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(file_exists(*dir_ / "c98.bin"));
  const shell_result inv =
      prepare(dir_->path(), "--inventory " + producer("ncep_local_as_ecmwf.grib2"));
  ASSERT_EQ(inv.status, 0) << inv.err;
  EXPECT_NE(
      inv.out.find("/producers/ncep_local_as_ecmwf.grib2: message 208 (unknown, GRIB 2 2/0/192 "
                   "of centre 98, 0-0.1 m below ground) valid at 2011-01-15T12:00Z\n"),
      std::string::npos)
      << inv.out;
}

}  // namespace
}  // namespace c2m::test

// conv2model-prepare --interval on two real GFS times six hours apart: the GFS file's
// fields at 12 UTC, and the same fields at 18 UTC (grib_set forecastTime) with the
// temperatures scaled by 1.02, u by -0.5 and v shifted by 3 m/s (grib_set scaleValuesBy,
// offsetValuesBy). Each hour between is checked against a + (b - a) h / 6 computed here
// from the values grib_get_data reads from the two files, at named points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "companion/prepare/tests/prepare_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::test {
namespace {

constexpr std::int32_t im = 144, jm = 73, lm = 25;
constexpr std::size_t points = std::size_t(im) * jm;

class prepare_interval : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<scratch_dir>();
    const shell_result r = shell(
        dir_->path(),
        "grib_copy -w typeOfLevel=isobaricInhPa/surface/meanSea/depthBelowLandLayer " +
            quoted(gfs_grib2()) +
            " a.grib2 && grib_set -s forecastTime=126 a.grib2 b0.grib2 && "
            "grib_set -w shortName=t,typeOfLevel=isobaricInhPa -s scaleValuesBy=1.02 b0.grib2 "
            "b1.grib2 && grib_set -w shortName=u -s scaleValuesBy=-0.5 b1.grib2 b2.grib2 && "
            "grib_set -w shortName=v -s offsetValuesBy=3 b2.grib2 b.grib2 && rm b0.grib2 "
            "b1.grib2 b2.grib2 && "
            // The same messages in other orders: by level then name, and by name backwards.
            "grib_copy -B 'level:i asc,shortName:s asc' a.grib2 a_shuffled.grib2 && "
            "grib_copy -B 'shortName:s desc,level:i desc' b.grib2 b_shuffled.grib2");
    if (r.status != 0) {
      failure_ = "the two times cannot be made: " + r.err;
      return;
    }
    const shell_result s =
        prepare(dir_->path(), "--each-time --interval 1h -o 'h_%H.bin' a.grib2 b.grib2");
    if (s.status != 0) {
      failure_ = "the series cannot be made: " + s.err;
      return;
    }
    out_ = s.out;
    for (int h = 12; h <= 18; ++h) hours_.push_back(read_input(hour_file(h), im, jm, lm));
  }
  static void TearDownTestSuite() { dir_.reset(); }
  // A failure while the suite is set up fails every test (GoogleTest would skip them).
  void SetUp() override {
    if (!failure_.empty()) FAIL() << failure_;
  }
  static std::string in(const std::string& name) { return quoted(*dir_ / name); }
  static std::string hour_file(int h) { return *dir_ / ("h_" + std::to_string(h) + ".bin"); }

  // Each hour's grid of one field (a record of the upper-air fields at a level, or the
  // surface field k with record -1) against the formula at named points, from
  // grib_get_data's values at both times. `changed`: the two times differ there.
  static void expect_hours(const std::string& where, int record, std::size_t level, double divisor,
                           bool changed);

  static std::unique_ptr<scratch_dir> dir_;
  static std::string out_, failure_;
  static std::vector<input_fields> hours_;  // 12 to 18 UTC
};

std::unique_ptr<scratch_dir> prepare_interval::dir_;
std::string prepare_interval::out_;
std::string prepare_interval::failure_;
std::vector<input_fields> prepare_interval::hours_;

// A point of the written grid (south to north from -90, east from 0, 2.5 degrees) by its
// latitude and longitude in degrees.
std::size_t at(double lat, double lon) {
  return std::size_t(std::lround((lat + 90) / 2.5)) * im + std::size_t(std::lround(lon / 2.5));
}

struct named_point {
  const char* name;
  double lat, lon;
};
constexpr named_point places[] = {{"Oslo", 60, 10},
                                  {"Sydney", -35, 150},
                                  {"Quito", 0, 282.5},
                                  {"Honolulu", 20, 202.5},
                                  {"South Pole", -90, 0}};

void prepare_interval::expect_hours(const std::string& where, int record, std::size_t level,
                                    double divisor, bool changed) {
  const point_values a = grib_points(*dir_ / "a.grib2", where);
  const point_values b = grib_points(*dir_ / "b.grib2", where);
  for (const named_point& p : places) {
    const auto key = std::make_pair(std::llround(p.lat * 1000), std::llround(p.lon * 1000));
    ASSERT_TRUE(a.count(key) && b.count(key)) << where << " at " << p.name;
    const double va = a.at(key), vb = b.at(key);
    if (changed) {
      EXPECT_NE(va, vb) << where << " at " << p.name << ": the case changes nothing";
    }
    for (int h = 0; h <= 6; ++h) {
      const input_fields& f = hours_[std::size_t(h)];
      const std::size_t k = level * points + at(p.lat, p.lon);
      const float got = record >= 0 ? f.upper[record][k] : f.slp[k];
      const float want = static_cast<float>((va + (vb - va) * h / 6.0) / divisor);
      // grib_get_data prints 13 significant digits: allow the float's last bit at the
      // size of the two values (a value crossing zero is exact only that far).
      const double near = std::max(std::fabs(va), std::fabs(vb)) / divisor * 0x1p-23;
      EXPECT_LE(std::fabs(double(got) - double(want)), near)
          << where << " at " << p.name << ", " << 12 + h << " UTC: " << got << ", the formula "
          << want << " (" << va << " at 12, " << vb << " at 18 UTC)";
    }
  }
}

TEST_F(prepare_interval, writes_every_hour_and_says_which_are_interpolated) {
  std::string want;
  for (int h = 12; h <= 18; ++h)
    want +=
        "wrote h_" + std::to_string(h) +
        ".bin: 144 x 73 points, 25 levels from 1000 to 10 hPa, valid at 2011-01-15T" +
        std::to_string(h) + ":00Z" +
        (h == 12 || h == 18 ? ""
                            : ", interpolated between 2011-01-15T12:00Z and 2011-01-15T18:00Z") +
        "\n";
  EXPECT_EQ(out_, want + "wrote InputModelInf.txt\n");
  EXPECT_EQ(shell(dir_->path(), "ls h_*").out,
            "h_12.bin\nh_13.bin\nh_14.bin\nh_15.bin\nh_16.bin\nh_17.bin\nh_18.bin\n");
}

TEST_F(prepare_interval, a_held_time_is_written_as_time_writes_it) {
  scratch_dir dir;
  for (const auto& [h, t] : {std::pair{12, "2011011512"}, std::pair{18, "2011011518"}}) {
    const shell_result r = prepare(dir.path(), std::string("--time ") + t + " -o t.bin " +
                                                   in("a.grib2") + " " + in("b.grib2"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(read_file(dir / "t.bin") == read_file(hour_file(h))) << h << " UTC";
    if (h == 12) {
      EXPECT_EQ(read_file(dir / "InputModelInf.txt"), read_file(*dir_ / "InputModelInf.txt"));
    }
  }
}

// Three held times, 12, 18 and 24 UTC (b's fields at forecastTime 132 with the
// temperatures scaled by 0.99): 18 UTC is read once and serves the times on both sides
// of it; it is written as --time writes it, and 21 UTC lies between it and 24 UTC.
TEST_F(prepare_interval,
       a_held_time_between_two_spans_serves_both_and_is_written_as_time_writes_it) {
  scratch_dir dir;
  ASSERT_EQ(shell(dir.path(), "grib_set -s forecastTime=132 " + in("b.grib2") +
                                  " c0.grib2 && grib_set -w shortName=t -s scaleValuesBy=0.99 "
                                  "c0.grib2 c.grib2 && rm c0.grib2")
                .status,
            0);
  const std::string files = in("a.grib2") + " " + in("b.grib2") + " c.grib2";
  const shell_result r = prepare(dir.path(), "--each-time --interval 3h -o 's_%d%H.bin' " + files);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(shell(dir.path(), "ls s_*").out,
            "s_1512.bin\ns_1515.bin\ns_1518.bin\ns_1521.bin\ns_1600.bin\n");
  const shell_result t = prepare(dir.path(), "--time 2011011518 -o t.bin " + files);
  ASSERT_EQ(t.status, 0) << t.err;
  EXPECT_TRUE(read_file(dir / "t.bin") == read_file(dir / "s_1518.bin"));
  EXPECT_TRUE(read_file(dir / "s_1515.bin") == read_file(hour_file(15)));
  const input_fields f = read_input(dir / "s_1521.bin", im, jm, lm);
  const std::string where = "typeOfLevel=isobaricInhPa,shortName=t,level=850";
  const point_values b = grib_points(*dir_ / "b.grib2", where);
  const point_values c = grib_points(dir / "c.grib2", where);
  for (const named_point& p : places) {
    const auto key = std::make_pair(std::llround(p.lat * 1000), std::llround(p.lon * 1000));
    const double vb = b.at(key), vc = c.at(key);
    ASSERT_NE(vb, vc) << p.name;
    const float want = static_cast<float>(vb + (vc - vb) * 0.5);
    EXPECT_LE(std::fabs(double(f.upper[4][5 * points + at(p.lat, p.lon)]) - double(want)),
              std::max(vb, vc) * 0x1p-23)
        << p.name;
  }
}

TEST_F(prepare_interval, each_hour_is_the_linear_interpolation_at_named_points) {
  // Levels: 1000 975 950 925 900 850 800 750 700 650 600 550 500 450 400 350 300 250 ...
  expect_hours("typeOfLevel=isobaricInhPa,shortName=t,level=850", 4, 5, 1, true);
  expect_hours("typeOfLevel=isobaricInhPa,shortName=t,level=500", 4, 12, 1, true);
  expect_hours("typeOfLevel=isobaricInhPa,shortName=u,level=250", 0, 17, 1, true);
  expect_hours("typeOfLevel=isobaricInhPa,shortName=v,level=850", 1, 5, 1, true);
  // Unchanged fields are exactly as they are at every hour.
  expect_hours("typeOfLevel=isobaricInhPa,shortName=gh,level=500", 2, 12, 1, false);
  expect_hours("typeOfLevel=isobaricInhPa,shortName=r,level=700", 3, 8, 1, false);
  expect_hours("shortName=prmsl", -1, 1, 100, false);
  for (int h = 1; h < 6; ++h) {
    EXPECT_TRUE(hours_[std::size_t(h)].upper[2] == hours_[0].upper[2]) << 12 + h << " UTC";
    EXPECT_TRUE(hours_[std::size_t(h)].slp == hours_[0].slp) << 12 + h << " UTC";
  }
}

TEST_F(prepare_interval, messages_in_another_order_give_the_same_files) {
  ASSERT_NE(shell(dir_->path(), "grib_get -p shortName,level b.grib2 | head -3").out,
            shell(dir_->path(), "grib_get -p shortName,level b_shuffled.grib2 | head -3").out);
  scratch_dir dir;
  const shell_result r =
      prepare(dir.path(), "--each-time --interval 1h -o 'h_%H.bin' " + in("b_shuffled.grib2") +
                              " " + in("a_shuffled.grib2"));
  ASSERT_EQ(r.status, 0) << r.err;
  for (int h = 12; h <= 18; ++h)
    EXPECT_TRUE(read_file(dir / ("h_" + std::to_string(h) + ".bin")) == read_file(hour_file(h)))
        << h << " UTC";
}

// The mask and orography in a file of their own dated 1979 (grib_set dataDate), as an
// invariant file: every time holds them as they are.
TEST_F(prepare_interval, an_invariant_mask_and_topography_stay_as_they_are) {
  scratch_dir dir;
  ASSERT_EQ(shell(dir.path(), "grib_copy -w shortName=lsm/orog " + in("a.grib2") +
                                  " inv0.grib2 && grib_set -s dataDate=19790101,forecastTime=0 "
                                  "inv0.grib2 inv.grib2 && for t in a b; do grib_copy -w "
                                  "shortName!=lsm,shortName!=orog " +
                                  dir_->path() + "/$t.grib2 $t.grib2; done")
                .status,
            0);
  const shell_result r =
      prepare(dir.path(), "--each-time --interval 2h -o 'i_%H.bin' inv.grib2 a.grib2 b.grib2");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const int h : {12, 14, 16, 18}) {
    const input_fields f = read_input(dir / ("i_" + std::to_string(h) + ".bin"), im, jm, lm);
    const input_fields& held = hours_[std::size_t(h - 12)];
    for (const std::size_t k : {std::size_t{0}, std::size_t{3}})  // sftlf, orog
      EXPECT_TRUE(std::equal(f.slp.begin() + std::ptrdiff_t(k * points),
                             f.slp.begin() + std::ptrdiff_t((k + 1) * points),
                             held.slp.begin() + std::ptrdiff_t(k * points)))
          << h << " UTC, surface field " << k + 1;
    EXPECT_TRUE(f.upper[4] == held.upper[4]) << h << " UTC";
  }
}

TEST_F(prepare_interval, the_inventory_lists_the_times_and_which_are_interpolated) {
  scratch_dir dir;
  const shell_result r =
      prepare(dir.path(), "--inventory --each-time --interval 3h -o 'h_%H.bin' " + in("a.grib2") +
                              " " + in("b.grib2"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find("grid:")),
            "valid times: 2: 2011-01-15T12:00Z and 2011-01-15T18:00Z\n"
            "written at 3h: 3 times, 2 held, 1 interpolated\n"
            "  2011-01-15T12:00Z held\n"
            "  2011-01-15T15:00Z interpolated: 1/2 of 2011-01-15T12:00Z + 1/2 of "
            "2011-01-15T18:00Z\n"
            "  2011-01-15T18:00Z held\n");
  EXPECT_EQ(shell(dir.path(), "ls -A").out, "");
}

TEST_F(prepare_interval, refusals_name_the_times_or_the_field) {
  scratch_dir dir;
  ASSERT_EQ(shell(dir.path(), "grib_set -s forecastTime=132 " + in("a.grib2") +
                                  " c.grib2 && grib_set -s forecastTime=144 " + in("a.grib2") +
                                  " d.grib2 && grib_set -w shortName=t,level=500,typeOfLevel="
                                  "isobaricInhPa -s stepType=avg,stepRange=120-126 " +
                                  in("b.grib2") + " avg.grib2")
                .status,
            0);
  const std::string a = in("a.grib2"), b = in("b.grib2");
  // The diagnostic is the last line on standard error (notes on the fields come first).
  const auto expect_refusal = [&](const std::string& args, int status, const std::string& err) {
    const shell_result r = prepare(dir.path(), args);
    EXPECT_EQ(r.status, status) << args;
    const std::size_t last = r.err.rfind('\n', r.err.size() - 2);
    EXPECT_EQ(r.err.substr(last == std::string::npos ? 0 : last + 1),
              "conv2model-prepare: " + err + "\n")
        << args;
  };
  expect_refusal("--each-time --interval 1h -o 'x_%H.bin' " + a + " c.grib2", 1,
                 "--interval 1h: 2011-01-15T12:00Z and 2011-01-16T00:00Z lie 12h apart, more "
                 "than --max-gap 6h allows to interpolate across; give the times between them");
  expect_refusal("--each-time --interval 4h -o 'x_%H.bin' " + a + " " + b, 1,
                 "--interval 4h: 2011-01-15T18:00Z does not lie a whole number of 4h intervals "
                 "after the first time 2011-01-15T12:00Z; choose an interval that divides the "
                 "span");
  expect_refusal("--each-time --interval 30m -o 'x_%H.bin' " + a + " " + b, 64,
                 "--interval 30m: -o \"x_%H.bin\" cannot tell apart times within an hour; put "
                 "%M into it; see 'conv2model-prepare --help'");
  expect_refusal("--each-time --interval 1h --max-gap 1d -o 'x_%H.bin' " + a + " d.grib2", 1,
                 "-o: \"x_%H.bin\" gives 2011-01-15T12:00Z and 2011-01-16T12:00Z the one name "
                 "x_12.bin; put the time into the name, for example -o gfs_%Y%m%d%H.bin");
  const shell_result avg =
      prepare(dir.path(), "--each-time --interval 1h -o 'x_%H.bin' " + a + " avg.grib2");
  EXPECT_EQ(avg.status, 1);
  EXPECT_NE(avg.err.find("conv2model-prepare: --interval: ta 500 hPa at 2011-01-15T18:00Z "
                         "(avg.grib2: message "),
            std::string::npos)
      << avg.err;
  EXPECT_NE(avg.err.find(") is a value over a span of time (avg), not one at an instant; it "
                         "cannot be interpolated between 2011-01-15T12:00Z and "
                         "2011-01-15T18:00Z\n"),
            std::string::npos)
      << avg.err;
  expect_refusal("--interval 1h -o 'x_%H.bin' " + a + " " + b, 64,
                 "--interval writes a series: give it with --each-time; see "
                 "'conv2model-prepare --help'");
  EXPECT_EQ(shell(dir.path(), "ls -A").out, "avg.grib2\nc.grib2\nd.grib2\n");
  // A longer --max-gap lets the twelve hours through; an average is written at its own time.
  EXPECT_EQ(prepare(dir.path(),
                    "--inventory --each-time --interval 1h --max-gap 12h -o "
                    "'x_%H.bin' " +
                        a + " c.grib2")
                .status,
            0);
  const shell_result held = prepare(dir.path(), "--time 2011011518 -o avg.bin " + a + " avg.grib2");
  EXPECT_EQ(held.status, 0) << held.err;
}

// CDO's NetCDF of both times in one file (cdo mergetime): interpolated as it stands;
// with NCO's cell_methods "time: mean" on t (ncatted), t is a mean over time, refused.
TEST_F(prepare_interval, a_netcdf_mean_over_time_is_refused_naming_it) {
  scratch_dir dir;
  ASSERT_EQ(shell(dir.path(), "cdo -s -f nc mergetime " + in("a.grib2") + " " + in("b.grib2") +
                                  " ab.nc && ncatted -a cell_methods,t,o,c,'time: mean' ab.nc "
                                  "mean.nc")
                .status,
            0);
  const shell_result ok = prepare(dir.path(), "--each-time --interval 3h -o 'n_%H.bin' ab.nc");
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_NE(ok.out.find("wrote n_15.bin: 144 x 73 points, 25 levels from 1000 to 10 hPa, valid "
                        "at 2011-01-15T15:00Z, interpolated between 2011-01-15T12:00Z and "
                        "2011-01-15T18:00Z\n"),
            std::string::npos)
      << ok.out;
  const shell_result mean = prepare(dir.path(), "--each-time --interval 3h -o 'm_%H.bin' mean.nc");
  EXPECT_EQ(mean.status, 1);
  EXPECT_NE(mean.err.find("conv2model-prepare: --interval: ta 1000 hPa at 2011-01-15T12:00Z "
                          "(mean.nc: variable t[plev=25][time=0] (air_temperature)) is a value "
                          "over a span of time (mean), not one at an instant; it cannot be "
                          "interpolated between 2011-01-15T12:00Z and 2011-01-15T18:00Z\n"),
            std::string::npos)
      << mean.err;
  EXPECT_EQ(shell(dir.path(), "ls m_* 2>/dev/null").out, "");
}

// GFS's four soil layers asked onto 0-5, 5-20, 20-100, 100-200 cm, at 18 UTC with the
// soil temperatures scaled by 1.01 and the moisture by 0.9: each hour's target layer is
// the interpolation of that target layer mapped at both times, computed here from
// grib_get_data's values: temperature linear in depth between the source layers'
// mid-depths (5, 25, 70, 150 cm) at each target layer's mid-depth, moisture by overlap.
TEST_F(prepare_interval, mapped_soil_pairs_each_target_layer_at_both_times) {
  scratch_dir dir;
  ASSERT_EQ(shell(dir.path(),
                  "grib_set -w typeOfLevel=depthBelowLandLayer,shortName=t -s "
                  "scaleValuesBy=1.01 " +
                      in("b.grib2") +
                      " b1.grib2 && grib_set -w typeOfLevel=depthBelowLandLayer,"
                      "shortName=soilw -s scaleValuesBy=0.9 b1.grib2 b.grib2")
                .status,
            0);
  const shell_result r =
      prepare(dir.path(),
              "--each-time --interval 1h --soil-layers 0-5,5-20,20-100,100-200 -o "
              "'s_%H.bin' " +
                  in("a.grib2") + " b.grib2");
  ASSERT_EQ(r.status, 0) << r.err;
  // Each target layer as weights of the source layers 0-10, 10-40, 40-100, 100-200 cm.
  struct target {
    int slot;  // 0-based in the surface stack: tsl1 is 4, mrsov1 5, tsl2 6, ...
    const char* name;
    double w[4];
  };
  const double f2 = (0.125 - 0.05) / (0.25 - 0.05), f3 = (0.6 - 0.25) / (0.7 - 0.25);
  const target targets[] = {{4, "t", {1, 0, 0, 0}},
                            {6, "t", {1 - f2, f2, 0, 0}},
                            {8, "t", {0, 1 - f3, f3, 0}},
                            {10, "t", {0, 0, 0, 1}},
                            {5, "soilw", {1, 0, 0, 0}},
                            {7, "soilw", {5.0 / 15, 10.0 / 15, 0, 0}},
                            {9, "soilw", {0, 20.0 / 80, 60.0 / 80, 0}},
                            {11, "soilw", {0, 0, 0, 1}}};
  const int tops[] = {0, 10, 40, 100};
  std::vector<input_fields> hours;
  for (int h = 12; h <= 18; ++h)
    hours.push_back(read_input(dir / ("s_" + std::to_string(h) + ".bin"), im, jm, lm));
  const named_point land[] = {{"Moscow", 55, 37.5},
                              {"Kansas", 37.5, 262.5},
                              {"Manaus", -2.5, 300},
                              {"Alice Springs", -22.5, 132.5}};
  for (const target& t : targets) {
    point_values a[4], b[4];
    for (int n = 0; n < 4; ++n) {
      const std::string where = std::string("typeOfLevel=depthBelowLandLayer,shortName=") + t.name +
                                ",scaledValueOfFirstFixedSurface=" + std::to_string(tops[n]);
      a[n] = grib_points(*dir_ / "a.grib2", where);
      b[n] = grib_points(dir / "b.grib2", where);
    }
    for (const named_point& p : land) {
      const auto key = std::make_pair(std::llround(p.lat * 1000), std::llround(p.lon * 1000));
      double va = 0, vb = 0;
      for (int n = 0; n < 4; ++n) {
        // The source layers are placed as floats before they are mapped.
        va += t.w[n] * double(static_cast<float>(a[n].at(key)));
        vb += t.w[n] * double(static_cast<float>(b[n].at(key)));
      }
      ASSERT_FALSE(std::isnan(va) || std::isnan(vb)) << p.name << " is not land";
      EXPECT_NE(va, vb) << t.name << " at " << p.name << ": the case changes nothing";
      for (int h = 0; h <= 6; ++h) {
        const float got =
            hours[std::size_t(h)].slp[std::size_t(t.slot) * points + at(p.lat, p.lon)];
        const double want = va + (vb - va) * h / 6.0;
        EXPECT_LE(std::fabs(double(got) - want), std::max(std::fabs(va), std::fabs(vb)) * 0x1p-22)
            << "surface field " << t.slot + 1 << " at " << p.name << ", " << 12 + h
            << " UTC: " << got << ", the formula " << want << " (" << va << " at 12, " << vb
            << " at 18 UTC)";
      }
    }
  }
}

// At 18 UTC the first two soil layers relabelled 0-20 and 20-40 cm: mapped from other
// depths than at 12 UTC, the layers cannot be paired, and the refusal names the first.
TEST_F(prepare_interval, soil_mapped_from_other_layers_at_the_two_times_is_refused) {
  scratch_dir dir;
  ASSERT_EQ(shell(dir.path(),
                  "grib_set -w typeOfLevel=depthBelowLandLayer,"
                  "scaledValueOfFirstFixedSurface=0 -s "
                  "scaledValueOfSecondFixedSurface=20 " +
                      in("b.grib2") +
                      " b1.grib2 && grib_set -w typeOfLevel=depthBelowLandLayer,"
                      "scaledValueOfFirstFixedSurface=10 -s "
                      "scaledValueOfSecondFixedSurface=40,"
                      "scaledValueOfFirstFixedSurface=20 b1.grib2 b.grib2")
                .status,
            0);
  const shell_result r =
      prepare(dir.path(),
              "--each-time --interval 1h --soil-layers 0-5,5-20,20-100,100-200 -o "
              "'s_%H.bin' " +
                  in("a.grib2") + " b.grib2");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("conv2model-prepare: --interval: tsl1 (soil temperature layer 1) is the "
                       "layer 0-0.05 m mapped from 0-0.1 m at 2011-01-15T12:00Z but the layer "
                       "0-0.05 m mapped from 0-0.2 m at 2011-01-15T18:00Z; the soil of both times "
                       "must come in one layering\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(shell(dir.path(), "ls -A").out, "b.grib2\nb1.grib2\n");
}

}  // namespace
}  // namespace c2m::test

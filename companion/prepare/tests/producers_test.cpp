// The GFS fields rebuilt in the GRIB layouts of IFS open data, ICON and ERA5 from the
// CDS (producer_layouts.sh, from the keys of ecCodes' definitions) give what the GFS
// file gives: the GFS preparation of the same fields is the truth they are held to.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "common/constants.hpp"
#include "companion/prepare/tests/prepare_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::test {
namespace {

constexpr std::int32_t im = 144, jm = 73, lm = 25;
constexpr std::size_t n = std::size_t(im) * std::size_t(jm);

std::string producer(const std::string& name) {
  return std::string("'") + LAYOUTS_DIR + "/producers/" + name + "'";
}

class prepare_producers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<scratch_dir>();
    const shell_result r = prepare(dir_->path(), "-o ref.bin '" + gfs_grib2() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    ref_config_ = read_file(*dir_ / "InputModelInf.txt");
  }
  static void TearDownTestSuite() { dir_.reset(); }
  static input_fields read(const std::string& name) { return read_input(*dir_ / name, im, jm, lm); }

  static std::unique_ptr<scratch_dir> dir_;
  static std::string ref_config_;
};

std::unique_ptr<scratch_dir> prepare_producers::dir_;
std::string prepare_producers::ref_config_;

// Points of `a` and `b` further apart than `tol` and than one unit in the float's last
// place (the rounding of a value unpacked in double), fill values matching exactly.
int differing(const float* a, const float* b, std::size_t count, double tol) {
  int bad = 0;
  for (std::size_t p = 0; p < count; ++p) {
    const bool fa = a[p] == input_fill, fb = b[p] == input_fill;
    const bool near = std::fabs(double(a[p]) - double(b[p])) <= tol ||
                      std::nextafter(a[p], b[p]) == b[p];
    if (fa || fb ? fa != fb : !near) ++bad;
  }
  return bad;
}

TEST_F(prepare_producers, ifs_open_data_is_the_gfs_preparation_to_the_last_bit) {
  const shell_result r = prepare(dir_->path(), "-o ifs.bin " + producer("ifs.grib2"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(read_file(*dir_ / "ifs.bin") == read_file(*dir_ / "ref.bin"));
  EXPECT_EQ(read_file(*dir_ / "InputModelInf.txt"), ref_config_);
  const shell_result inv = prepare(dir_->path(), "--inventory " + producer("ifs.grib2"));
  ASSERT_EQ(inv.status, 0) << inv.err;
  EXPECT_NE(inv.out.find("st4           " + std::string(LAYOUTS_DIR) +
                         "/producers/ifs.grib2: message 140 (sot, GRIB 2 2/3/18, soil level 3-4 "
                         "(1-2.89 m below ground))\n"),
            std::string::npos)
      << inv.out;
}

// GRIB 1 upper air and soil at 24 bits: within a step of 1/2^24 of each field's range.
TEST_F(prepare_producers, era5_grib_from_the_cds_mixes_grib1_and_grib2) {
  const shell_result r = prepare(dir_->path(), "-o era5.bin " + producer("era5_mixed.grib"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(*dir_ / "InputModelInf.txt"), ref_config_);
  const input_fields a = read("era5.bin"), b = read("ref.bin");
  EXPECT_EQ(a.pr, b.pr);
  const auto range = [](const std::vector<float>& v, std::size_t from, std::size_t count) {
    float lo = INFINITY, hi = -INFINITY;
    for (std::size_t p = from; p < from + count; ++p)
      if (v[p] != input_fill) lo = std::min(lo, v[p]), hi = std::max(hi, v[p]);
    return double(hi) - double(lo);
  };
  for (int k = 0; k < 5; ++k) {
    const double tol = range(b.upper[k], 0, b.upper[k].size()) / 16777216.0;
    for (std::size_t l = 0; l < std::size_t(lm); ++l)
      EXPECT_EQ(differing(a.upper[k].data() + l * n, b.upper[k].data() + l * n, n,
                          tol + 1e-6 * range(b.upper[k], l * n, n)),
                0)
          << "upper field " << k << " level " << l;
  }
  for (std::size_t k = 0; k < 12; ++k)
    EXPECT_EQ(differing(a.slp.data() + k * n, b.slp.data() + k * n, n,
                        range(b.slp, k * n, n) / 16777216.0 * 2),
              0)
        << "surface field " << k + 1;
}

// NCEP's soil moisture code 2/0/192 relabelled as ECMWF's: not soil moisture there, so
// the soil moisture is absent; the inventory lists the messages as not used.
TEST_F(prepare_producers, a_local_code_means_nothing_under_another_centre) {
  const shell_result r =
      prepare(dir_->path(), "-o c98.bin " + producer("ncep_local_as_ecmwf.grib2"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no sm1 (soil moisture layer 1), sm2 (soil moisture layer 2), sm3 (soil "
                       "moisture layer 3), sm4 (soil moisture layer 4) in the input"),
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

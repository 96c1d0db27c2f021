#include "companion/inspect/compare.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <tuple>

#include "companion/inspect/tests/work_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::inspect {
namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

struct pair_of_files {
  c2m::test::scratch_dir dir;
  test::work_case a = test::make_case(5, 4, 3);
  test::work_case b = test::make_case(5, 4, 3);

  comparison run(double tolerance, std::string* text = nullptr) {
    write_case(a, dir / "a");
    write_case(b, dir / "b");
    const companion::work_file wa = companion::read_work_file(dir / "a"),
                               wb = companion::read_work_file(dir / "b");
    comparison c = compare_work_files(wa, wb, tolerance);
    if (text) {
      std::ostringstream out;
      print_comparison(c, wa, wb, tolerance, out);
      *text = out.str();
    }
    return c;
  }
};

TEST(inspect_compare, identical_files_are_said_to_be_identical) {
  pair_of_files f;
  std::string text;
  EXPECT_TRUE(f.run(0.0, &text).match());
  EXPECT_NE(text.find(" are identical\n"), std::string::npos) << text;
  f.b.at(2, 1, 1) += 0.25f;
  const comparison c = f.run(0.5, &text);
  EXPECT_TRUE(c.match());
  EXPECT_FALSE(c.identical);
  EXPECT_NE(text.find(" match within 0.5\n"), std::string::npos) << text;
}

TEST(inspect_compare, a_value_against_missing_is_counted_apart_and_gives_no_difference) {
  pair_of_files f;
  f.a.at(2, 3, 2) = -99999.0f;  // ua level 2
  f.b.at(2, 4, 2) = -99999.0f;
  f.a.at(2, 5, 4) = -99999.0f;  // missing in both: equal
  f.b.at(2, 5, 4) = -99999.0f;
  f.b.at(2, 1, 1) += 1.0f;
  f.b.at(2, 2, 1) -= 3.0f;
  std::string text;
  const comparison c = f.run(1e9, &text);  // no tolerance hides a value against missing
  ASSERT_EQ(c.records.size(), 1u) << text;
  const record_difference& d = c.records[0];  // counted apart, the first one located
  EXPECT_EQ(std::tuple(d.against_missing.count, d.points, d.against_missing.i, d.against_missing.j),
            std::tuple(2u, 0u, 3, 2));
  EXPECT_NE(text.find("record 2 ua level 2 (900 hPa): 2 points against missing, the first at "
                      "(i, j) = (3, 2): missing against 5\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("99999"), std::string::npos) << text;

  // The differing values count too, with the RMS over the 18 points valid in both.
  f.run(0.0, &text);
  const std::string both =
      "record 2 ua level 2 (900 hPa): 2 of 20 points differ, largest |A-B| 3 "
      "at (i, j) = (2, 1): 5 against 2, RMS 0.745356; 2 points against "
      "missing";
  EXPECT_NE(text.find(both), std::string::npos) << text;
}

TEST(inspect_compare, reports_count_largest_difference_and_where_it_is) {
  pair_of_files f;
  f.b.at(14, 2, 3) += 0.5f;  // tp level 2
  f.b.at(14, 4, 1) += 2.0f;
  f.b.at(14, 5, 4) -= 2.0f;  // as large, but later: the first stays
  f.b.at(27, 1, 1) = 0.0f;   // sm4
  std::string text;
  const comparison c = f.run(0.0, &text);
  ASSERT_EQ(c.records.size(), 2u);
  EXPECT_EQ(c.records[0].number, 14);
  EXPECT_EQ(c.records[0].points, 3u);
  EXPECT_EQ(c.records[0].largest, 2.0);
  EXPECT_EQ(c.records[0].i, 4);
  EXPECT_EQ(c.records[0].j, 1);
  EXPECT_EQ(c.records[1].number, 27);
  EXPECT_NE(text.find("record 14 ta level 2 (900 hPa): 3 of 20 points differ, largest |A-B| 2 "
                      "at (i, j) = (4, 1): 250 against 252, RMS 0.642262\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("record 27 mrsov4: 1 of 20 points differ"), std::string::npos) << text;
  EXPECT_NE(text.find("differ in 2 of 27 records"), std::string::npos) << text;
}

TEST(inspect_compare, tolerance_decides_what_counts_as_a_difference) {
  pair_of_files f;
  f.b.at(1, 1, 1) += 0.25f;
  f.b.at(2, 1, 1) += 1.0f;
  EXPECT_EQ(f.run(0.25).records.size(), 1u);  // a difference equal to the tolerance matches
  EXPECT_EQ(f.run(0.2).records.size(), 2u);
  EXPECT_TRUE(f.run(1.0).match());
}

TEST(inspect_compare, nan_equals_nan_but_nothing_else) {
  EXPECT_EQ(point_difference(nan, nan), 0.0);
  EXPECT_EQ(point_difference(inf, inf), 0.0);
  EXPECT_EQ(point_difference(nan, 1.0f), std::numeric_limits<double>::infinity());
  EXPECT_EQ(point_difference(inf, -inf), std::numeric_limits<double>::infinity());
  EXPECT_EQ(point_difference(-99999.0f, 1.0f), 100000.0);
  EXPECT_EQ(point_difference(3.0e38f, -3.0e38f), 2.0 * double{3.0e38f});  // no float overflow

  pair_of_files f;
  f.a.at(3, 1, 1) = nan;
  f.b.at(3, 1, 1) = nan;
  EXPECT_TRUE(f.run(0.0).match());
  f.b.at(3, 1, 1) = 5.0f;
  EXPECT_FALSE(f.run(1e30).match());  // no tolerance hides a NaN
}

TEST(inspect_compare, nan_and_infinite_differences_are_counted_apart_from_the_rms) {
  pair_of_files f;
  f.a.at(3, 2, 1) = nan;  // ua level 3: NaN and infinities only
  f.b.at(3, 4, 2) = nan;
  f.b.at(3, 1, 3) = inf;
  f.a.at(3, 5, 4) = inf;
  f.b.at(3, 5, 4) = -inf;
  f.a.at(3, 3, 3) = inf;  // the same infinity in both: equal
  f.b.at(3, 3, 3) = inf;
  std::string text;
  comparison c = f.run(0.0, &text);
  ASSERT_EQ(c.records.size(), 1u) << text;
  const record_difference& d = c.records[0];
  EXPECT_EQ(std::tuple(d.points, d.nan.count, d.nan.i, d.nan.j, d.infinite.count),
            std::tuple(0u, 2u, 2, 1, 2u));
  EXPECT_EQ(text.find("RMS"), std::string::npos) << text;  // nothing finite differs
  EXPECT_NE(text.find("record 3 ua level 3 (800 hPa): 2 points NaN in one file only, the first "
                      "at (i, j) = (2, 1): NaN against 5; 2 points infinite in one file only "
                      "or of opposite signs, the first at (i, j) = (1, 3): 5 against inf\n"),
            std::string::npos)
      << text;

  // A finite difference beside them: the RMS is over the 16 points finite in both.
  f.b.at(3, 1, 1) += 6.0f;
  c = f.run(0.0, &text);
  EXPECT_EQ(c.records[0].points, 1u);
  EXPECT_DOUBLE_EQ(c.records[0].rms, std::sqrt(36.0 / 16.0));
  EXPECT_NE(text.find("1 of 20 points differ, largest |A-B| 6 at (i, j) = (1, 1): 5 against "
                      "11, RMS 1.5; 2 points NaN"),
            std::string::npos)
      << text;
}

TEST(inspect_compare, different_layouts_are_differences_not_errors) {
  {
    pair_of_files f;
    f.b = test::make_case(5, 4, 2);
    std::string text;
    const comparison c = f.run(0.0, &text);
    EXPECT_FALSE(c.match());
    EXPECT_TRUE(c.records.empty());
    EXPECT_NE(text.find("grids differ: 5 x 4 points, 3 levels against 5 x 4 points, 2 levels"),
              std::string::npos)
        << text;
  }
  {
    pair_of_files f;
    f.b.pr_hpa[2] = 750.0f;
    f.b.kgds[4] = 36000;
    std::string text;
    const comparison c = f.run(0.0, &text);
    EXPECT_EQ(c.layout.size(), 2u) << text;
    EXPECT_NE(text.find("pressure of level 3 differs: 80000 Pa against 75000 Pa"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("kgds(4) differs: 35000 against 36000"), std::string::npos) << text;
    EXPECT_NE(text.find("differ in their info files"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace c2m::inspect

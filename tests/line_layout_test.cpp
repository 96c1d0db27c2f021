#include "common/line_layout.hpp"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

namespace c2m {
namespace {

TEST(line_layout, floats_in_fixed_form_take_twelve_columns_and_four_blanks) {
  EXPECT_EQ(format_float(0.0f), "  0.00000000    ");
  EXPECT_EQ(format_float(-0.0f), " -0.00000000    ");
  EXPECT_EQ(format_float(0.1f), " 0.100000001    ");
  EXPECT_EQ(format_float(-0.1f), "-0.100000001    ");
  EXPECT_EQ(format_float(-99999.0f), " -99999.0000    ");
  EXPECT_EQ(format_float(1012.5f), "  1012.50000    ");
  EXPECT_EQ(format_float(123456792.0f), "  123456792.    ");
  EXPECT_EQ(format_float(999999936.0f), "  999999936.    ");
}

TEST(line_layout, exact_decimal_ties_round_to_even) {
  EXPECT_EQ(format_float(100000.0625f), "  100000.062    ");
}

TEST(line_layout, floats_outside_the_fixed_range_take_exponent_form) {
  EXPECT_EQ(format_float(std::nextafter(0.1f, 0.0f)), "  9.99999940E-02");
  EXPECT_EQ(format_float(1e9f), "  1.00000000E+09");
  EXPECT_EQ(format_float(std::numeric_limits<float>::denorm_min()), "  1.40129846E-45");
  EXPECT_EQ(format_float(FLT_MAX), "  3.40282347E+38");
  EXPECT_EQ(format_float(-FLT_MAX), " -3.40282347E+38");
  EXPECT_EQ(format_float(3.63124609e-2f), "  3.63124609E-02");
}

TEST(line_layout, non_finite_floats_are_right_justified_words) {
  EXPECT_EQ(format_float(std::numeric_limits<float>::quiet_NaN()), "             NaN");
  EXPECT_EQ(format_float(std::numeric_limits<float>::infinity()), "        Infinity");
  EXPECT_EQ(format_float(-std::numeric_limits<float>::infinity()), "       -Infinity");
}

TEST(line_layout, integers_take_eleven_columns) {
  EXPECT_EQ(format_int(0), "          0");
  EXPECT_EQ(format_int(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(format_int(255), "        255");
}

TEST(line_layout, blanks_between_items) {
  // A line begins with one blank; a number is preceded by one blank; a text after a
  // number too; a text after a text is joined to it.
  EXPECT_EQ(format_line({"Copying", 150, " mb to", 200, " mb."}),
            " Copying         150  mb to         200  mb.\n");
  EXPECT_EQ(format_line({"ORUwrk ", " data ---> ", "an.bin.ORUwrk"}),
            " ORUwrk  data ---> an.bin.ORUwrk\n");
  EXPECT_EQ(format_line({26, " => Number of Levels"}), "          26  => Number of Levels\n");
  EXPECT_EQ(format_line({"field, value ", 12, 0.3f}),
            " field, value           12  0.300000012    \n");
  EXPECT_EQ(format_line({1000.0f, 925.0f}), "   1000.00000       925.000000    \n");
}

TEST(line_layout, empty_items_and_empty_writes) {
  EXPECT_EQ(format_line({""}), " \n");
  EXPECT_EQ(format_line({}), "\n");
  EXPECT_EQ(format_line({"", "x"}), " x\n");
}

}  // namespace
}  // namespace c2m

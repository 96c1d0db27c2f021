#include "companion/prepare/kept_fields.hpp"

#include <gtest/gtest.h>

#include <array>

namespace c2m::prepare {
namespace {

// Three held times A, B, C of one field each, and a series A, (A B), B, (B C), C: each
// held time's field is kept from the time it is first read until the last time that
// reads it, and read from where it is kept after that first time.
TEST(kept_fields, a_held_field_is_kept_from_its_first_reading_to_its_last) {
  std::array<source_field, 3> f;
  const source_field *a = &f[0], *b = &f[1], *c = &f[2];
  kept_fields keep(10, 2, kept_fields_budget);

  keep.expect({a, b});  // the time after A reads A and B
  const kept_values a1 = keep.at(a);
  ASSERT_NE(a1.at, nullptr);
  EXPECT_FALSE(a1.filled);
  keep.written();

  keep.expect({b});  // (A B), then B alone
  const kept_values a2 = keep.at(a), b2 = keep.at(b);
  EXPECT_EQ(a2.at, a1.at);
  EXPECT_TRUE(a2.filled);
  ASSERT_NE(b2.at, nullptr);
  EXPECT_NE(b2.at, a1.at);
  EXPECT_FALSE(b2.filled);
  keep.written();

  keep.expect({b, c});  // B, then (B C)
  EXPECT_TRUE(keep.at(b).filled);
  keep.written();

  keep.expect({c});  // (B C), then C
  const kept_values c4 = keep.at(c);
  ASSERT_NE(c4.at, nullptr);
  EXPECT_EQ(c4.at, a1.at) << "A's place, free since A was last read, serves C";
  EXPECT_FALSE(c4.filled);
  EXPECT_TRUE(keep.at(b).filled);
  keep.written();

  keep.expect({});  // C, the last time
  EXPECT_TRUE(keep.at(c).filled);
  keep.written();
  EXPECT_EQ(keep.at(c).at, nullptr);
}

TEST(kept_fields, what_the_next_time_does_not_read_is_never_kept) {
  source_field a, b;
  kept_fields keep(10, 2, kept_fields_budget);
  keep.expect({&b});
  EXPECT_EQ(keep.at(&a).at, nullptr);
  EXPECT_NE(keep.at(&b).at, nullptr);
}

TEST(kept_fields, beyond_the_room_or_the_budget_fields_are_read_again) {
  std::array<source_field, 3> f;
  kept_fields small(10, 2, kept_fields_budget);
  small.expect({&f[0], &f[1], &f[2]});
  EXPECT_NE(small.at(&f[0]).at, nullptr);
  EXPECT_NE(small.at(&f[1]).at, nullptr);
  EXPECT_EQ(small.at(&f[2]).at, nullptr);

  kept_fields over(10, 2, 2 * 11 * sizeof(double) - 1);
  over.expect({&f[0]});
  EXPECT_EQ(over.at(&f[0]).at, nullptr);
}

}  // namespace
}  // namespace c2m::prepare

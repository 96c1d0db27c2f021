// The sample generator's failing cases, run through the real binary: the batch tests rely
// on one stopping for data and one failing on input, each leaving nothing behind.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/scratch.hpp"

namespace c2m {
namespace {

using test::file_exists;
using test::run_conv2model;

TEST(sample_cases, a_missing_height_level_stops_for_data) {
  test::scratch_dir dir;
  sample::sample_options options;
  options.missing_ht_level = 3;
  const auto a = sample::make_sample(8, 5, 5, options);
  test::write_case(dir.path(), a);
  const auto r = run_conv2model(dir.path(), "an.bin\n\n");
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(r.err,
            "conv2model: conversion stopped, no output written: an.bin: Height data missing at "
            "level: 450\n");
  EXPECT_TRUE(r.out.ends_with(" Height data missing at level:    450.000000    \n")) << r.out;
  EXPECT_FALSE(file_exists(dir / "an.bin.ORUwrk"));

  // Level 1 and the top level are reached too; an out-of-range level changes nothing.
  for (int level : {1, 5}) {
    options.missing_ht_level = level;
    test::write_case(dir.path(), sample::make_sample(8, 5, 5, options));
    EXPECT_EQ(run_conv2model(dir.path(), "an.bin\n\n").status, 2) << level;
  }
  options.missing_ht_level = 6;
  test::write_case(dir.path(), sample::make_sample(8, 5, 5, options));
  EXPECT_EQ(run_conv2model(dir.path(), "an.bin\n\n").status, 0);
}

TEST(sample_cases, a_cut_short_input_fails_on_its_second_record) {
  test::scratch_dir dir;
  const auto a = sample::make_sample(8, 5, 5);
  test::write_case(dir.path(), a);
  sample::write_input_file(dir / "an.bin", a, true);
  const auto r = run_conv2model(dir.path(), "an.bin\n\n");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.err,
            "conv2model: an.bin: record 2 (ua) is cut: its length says 800 bytes, the file ends "
            "after 400\n");
  EXPECT_FALSE(file_exists(dir / "an.bin.ORUwrk"));
}

}  // namespace
}  // namespace c2m

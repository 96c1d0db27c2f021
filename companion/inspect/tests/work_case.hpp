// Crafted work files for the tests: a small grid with plausible values everywhere,
// written with the converter's own info-file writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/kgds.hpp"

namespace c2m::inspect::test {

struct work_case {
  std::int32_t im = 0, jm = 0, lm = 0;
  std::vector<float> pr_hpa;  // level 1 (the bottom) first
  kgds_values kgds;           // filled as conv2model fills it
  std::vector<float> values;  // (5 * lm + 12) records of im * jm points

  float& at(int record, std::int32_t i, std::int32_t j);  // all from 1
  float* record(int record);
};

// A 0.25-degree grid from 35 N, 10 W; pressures from 1000 hPa down by 100 hPa a level.
// Every record holds one plausible value: winds 5, height 1000, q 0.001, tp 250,
// land-sea mask 1, pressures 1000, topography 100, soil temperature 280, moisture 0.3.
work_case make_case(std::int32_t im, std::int32_t jm, std::int32_t lm);

// Writes path and path.gdsinfo.
void write_case(const work_case& c, const std::string& path);

}  // namespace c2m::inspect::test

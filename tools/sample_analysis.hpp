// A deterministic sample analysis on any grid: a standard-atmosphere temperature and
// height profile with smooth horizontal waves, winds, relative humidity in percent, a
// land-sea mask and soil fields that hold the input fill value over sea.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/kgds.hpp"

namespace c2m::sample {

struct sample_options {
  bool global = false;     // whole globe; otherwise a quarter-degree regional window
  int missing_rh_top = 0;  // top levels of rh that hold the input fill value everywhere
  // A level (1 = bottom) of ht that holds the input fill value everywhere, so that the
  // conversion stops for data; 0 for none.
  int missing_ht_level = 0;
  // Hours after the base time: the waves move east, so that every time of a series
  // differs from the others.
  double hour = 0.0;
  std::string title = "sample-analysis";
};

struct analysis {
  std::int32_t im = 0, jm = 0, lm = 0;
  std::vector<float> pr;                  // hPa, level 1 at the bottom
  std::vector<float> uw, vw, ht, rh, tp;  // im * jm * lm, i fastest
  std::vector<float> slp;                 // im * jm * 12
  kgds_values kgds;                       // those the configuration gives
};

analysis make_sample(std::int32_t im, std::int32_t jm, std::int32_t lm,
                     const sample_options& options = {});

// The input field file's bytes and the matching grid configuration text. A cut_short
// file ends halfway through its second record (uw), so that the conversion fails on input.
void write_input_file(const std::string& path, const analysis& a, bool cut_short = false);
std::string grid_config_text(const analysis& a, const std::string& title);

}  // namespace c2m::sample

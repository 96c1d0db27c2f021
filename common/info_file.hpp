// The info file WORKFILE.gdsinfo beside a work file: text lines in the log's line layout
// giving the level count, the level pressures (Pa, top level first), kgds(1) to
// kgds(11) and kgds(20) (under the label "kgds(12)"), then the fields' names in writing
// order. The converter writes it; the companions read it to find their way in the work
// file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/kgds.hpp"

namespace c2m::info_file {

// The info file's text for lm levels at pressures_hpa (bottom first) on grid kgds.
std::string text(std::int32_t lm, std::span<const float> pressures_hpa, const kgds_values& kgds);

struct contents {
  std::int32_t lm = 0;
  std::vector<float> pressure_pa;               // by level: level 1 (the bottom) first
  kgds_values kgds;                             // kgds(1) .. kgds(11) and kgds(20); others 0
  std::vector<std::string> names_3d, names_2d;  // as listed, in writing order
};

// Parses an info file's text; throws run_error naming `name` and the line at fault. The
// level count is checked against the lines present before anything is sized by it.
contents parse(std::string_view text, const std::string& name);

// Reads and parses the file at path; an info file is a few kilobytes, a large one is
// refused unread.
contents read(const std::string& path);

}  // namespace c2m::info_file

// Reading a conv2model work file through its info file (WORKFILE.gdsinfo): the info file
// gives the level count, the level pressures, the grid description integers and the
// field order; the work file holds 5 * lm + 12 records of im * jm little-endian floats.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/kgds.hpp"
#include "common/work_layout.hpp"
#include "companion/common/fields.hpp"

namespace c2m::companion {

struct grid_info {
  std::int32_t im = 0, jm = 0, lm = 0;
  std::vector<float> pressure_pa;     // by work-file level: level 1 (the bottom) first
  kgds_values kgds;                   // kgds[1] .. kgds[11] and kgds[20]; others 0
  std::vector<field_desc> fields_3d;  // 5, in record order
  std::vector<field_desc> fields_2d;  // 12, in record order
};

// One record of the work file: which field, which level (0 for a surface field).
struct record_id {
  int number = 0;  // from 1
  const field_desc* field = nullptr;
  std::int32_t level = 0;
  float pressure_hpa = 0.0f;  // 3-D records only
};

struct work_file {
  std::string path;
  grid_info info;
  std::vector<float> values;  // all records, one after the other

  std::string info_path() const { return path + std::string(layout::info_suffix); }
  std::size_t points() const {
    return static_cast<std::size_t>(info.im) * static_cast<std::size_t>(info.jm);
  }
  int record_count() const { return static_cast<int>(layout::record_count(info.lm)); }
  std::span<const float> record(int number) const {
    return {values.data() + points() * static_cast<std::size_t>(number - 1), points()};
  }
};

// Parses the text of an info file; name is used in diagnostics.
grid_info parse_grid_info(std::string_view text, const std::string& name);

// Reads WORKFILE.gdsinfo and WORKFILE; refuses a work file whose size does not match.
work_file read_work_file(const std::string& path);

// Reads WORKFILE.gdsinfo and checks WORKFILE's size against it, as read_work_file does,
// but leaves values empty: for a reader that goes through the records one at a time.
work_file read_work_info(const std::string& path);

// Every record of the layout, in file order.
std::vector<record_id> list_records(const grid_info& info);

// The record of a field by its name (see names_field); level counts from 1 (the bottom)
// for 3-D fields and must be 0 for surface fields. Throws run_error naming the choices.
record_id find_record(const grid_info& info, std::string_view name, std::int32_t level);

// The level whose pressure is hpa (to a hundredth of a hPa); throws run_error listing
// the levels when there is none.
std::int32_t level_of_pressure(const grid_info& info, double hpa);

}  // namespace c2m::companion

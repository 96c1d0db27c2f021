// Test helpers for conv2model-prepare: runs of shell commands in a scratch directory,
// the input field file read back with conv2model's own record reader, and reference
// values from ecCodes' grib_get_data.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace c2m::test {

struct shell_result {
  int status = -1;
  std::string out, err;
};

// Runs `command` with sh in `dir`, standard input empty, capturing both outputs.
shell_result shell(const std::string& dir, const std::string& command);

// "conv2model-prepare ARGS" in dir.
shell_result prepare(const std::string& dir, const std::string& args);

// A path in single quotes for the shell.
std::string quoted(const std::string& path);

std::string data_file(const std::string& name);  // a file of the test data
std::string gfs_grib2();                         // the NCEP GFS 2.5-degree file

// An input field file as conv2model reads it.
struct input_fields {
  std::int32_t lm = 0;
  std::vector<float> upper[5];  // uw, vw, ht, rh, tp: im * jm * lm each
  std::vector<float> pr;
  std::vector<float> slp;  // im * jm * 12
};
input_fields read_input(const std::string& path, std::int32_t im, std::int32_t jm, std::int32_t lm);

// The points of the messages grib_get_data selects with `where` (exactly one field),
// by latitude and longitude in millidegrees, longitudes in 0..360000; missing points
// hold NaN.
using point_values = std::map<std::pair<std::int64_t, std::int64_t>, double>;
point_values grib_points(const std::string& file, const std::string& where);

}  // namespace c2m::test

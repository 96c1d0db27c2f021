// The grid configuration file: the converter reads it from its working directory under
// this name; the preparer and the sample generator write it, the batch copies it in.
#pragma once

#include <string_view>

namespace c2m::grid_config_file {

constexpr std::string_view name = "InputModelInf.txt";

}  // namespace c2m::grid_config_file

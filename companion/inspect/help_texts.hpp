// The help texts of conv2model-inspect and of each of its commands.
#pragma once

namespace c2m::inspect {

extern const char* const main_help;
extern const char* const stats_help;
extern const char* const compare_help;
extern const char* const netcdf_help;
extern const char* const png_help;
extern const char* const overview_help;

}  // namespace c2m::inspect

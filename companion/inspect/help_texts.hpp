// The help texts of conv2model-inspect and of each of its commands.
#pragma once

namespace c2m::inspect {

// A help text around its "Options:" block, which the option table writes.
struct help_text {
  const char* head;  // up to and with "Options:\n"
  const char* tail;  // after the lines of --help and --version
};

extern const help_text main_help;
extern const help_text stats_help;
extern const help_text compare_help;
extern const help_text netcdf_help;
extern const help_text png_help;
extern const help_text overview_help;

}  // namespace c2m::inspect

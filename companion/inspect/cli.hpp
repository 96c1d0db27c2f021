// The command line of conv2model-inspect: subcommands, their options and help texts,
// and the mapping of failures to diagnostics and exit statuses.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace c2m::inspect {

constexpr int exit_ok = 0;
constexpr int exit_differ = 1;   // compare: the files differ
constexpr int exit_flagged = 1;  // stats --check: a flag was raised
constexpr int exit_error = 2;

// Runs the program on args (without the program name); returns the exit status.
int inspect_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace c2m::inspect

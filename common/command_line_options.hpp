// The command line of the C++ programs: one table of options per program (or command),
// one parser, one answer to --help and --version, one way to report a wrong command
// line (status 64, one line naming the program and pointing to --help).
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace c2m {

// One option besides -h/--help and --version, which every program has. A long name
// ("--area") or a short one ('o'), or both; an option with a value takes it from the next
// argument, or after '=' in the long form.
struct cli_option {
  std::string_view long_name;  // with its dashes; empty when there is none
  char short_name = 0;         // 0 when there is none
  bool takes_value = false;
};

struct cli_syntax {
  std::span<const cli_option> options;
  // Arguments that are not options; a program that takes none refuses "--" too.
  std::size_t most_operands = std::numeric_limits<std::size_t>::max();
};

// The arguments, split. Options are named by their long name, else "-" and the short one.
struct parsed_command_line {
  bool help = false;
  bool version = false;
  std::vector<std::pair<std::string, std::string>> given;  // name, value ("" for a flag)
  std::vector<std::string> operands;

  bool has(std::string_view name) const;
  std::optional<std::string> value(std::string_view name) const;  // the last one given
};

// A wrong command line. `argument` is the argument at fault as given, when one is.
struct usage_error : std::runtime_error {
  explicit usage_error(const std::string& what, std::string at = "")
      : std::runtime_error(what), argument(std::move(at)) {}
  std::string argument;
};

// Splits args (without the program's name) by the syntax; "--" ends the options and "-"
// is an operand. Throws usage_error at the first argument that does not fit.
parsed_command_line parse_command_line(std::span<const std::string> args, const cli_syntax& syntax);

// When --help (which wins) or --version was given: prints the help text, or
// "PROGRAM VERSION", on out and returns the exit status (1 with a diagnostic on err when
// out cannot be written). Otherwise nothing.
std::optional<int> answer_help_or_version(const parsed_command_line& c, std::string_view program,
                                          std::string_view help, std::ostream& out,
                                          std::ostream& err);

// "PROGRAM: WHAT; see 'PROGRAM --help'" on err; returns exit_usage. PROGRAM may name a
// command too ("conv2model-inspect stats").
int report_usage_error(std::string_view program, const usage_error& e, std::ostream& err);

}  // namespace c2m

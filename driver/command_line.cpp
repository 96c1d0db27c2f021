#include "driver/command_line.hpp"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "common/command_line_options.hpp"
#include "common/work_layout.hpp"
#include "driver/grid_config.hpp"

namespace c2m {

namespace {

// The help, with the limits and the names filled in from their owners.
std::string help_text() {
  const std::string work = "PATH" + std::string(layout::work_suffix);
  const std::string info = work + std::string(layout::info_suffix);
  return R"(Usage: conv2model < LINES
       conv2model --help | --version
Convert one pressure-level analysis into the initial data of the limited-area model.

Standard input, two lines:
  line 1  the path of the input field file (the text before its first blank, at
          most )" +
         std::to_string(layout::longest_input_name) + R"( characters)
  line 2  any text; it must be present and is not used
The grid comes from )" +
         grid_config_path + R"( in the working directory.

Writes, next to the input field file PATH:
  )" + work +
         std::string(22 - work.size(), ' ') +
         R"(the work file
  )" + info +
         std::string(22 - info.size(), ' ') +
         R"(the grid description info file
and the progress log on standard output. A failure ends the log with one line on
standard error: 'conv2model: FILE: what is wrong'.

Exit status:
  0   the conversion is complete
  1   an input/output or allocation failure
  2   the data cannot be converted; no output file was written
  64  a wrong command line

Example:
  printf 'an.bin\n\n' | conv2model

Options:
)" + options_help({}, 17) +
         R"(
Manual: man conv2model
)";
}

}  // namespace

int answer_arguments(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  // No options of its own and no operands: every argument but the help and the version
  // is refused, before standard input is read.
  parsed_command_line c;
  try {
    c = parse_command_line(args, cli_syntax{{}, 0});
  } catch (const usage_error& e) {
    return report_usage_error(
        "conv2model",
        usage_error("unknown argument '" + e.argument + "': the input comes on standard input"),
        std::cerr);
  }
  return answer_help_or_version(c, "conv2model", help_text(), std::cout, std::cerr).value_or(0);
}

void prompt_for_input() {
  if (::isatty(STDIN_FILENO))
    std::fputs(
        "conv2model: reading standard input: line 1 the input field file, line 2 any text"
        " (conv2model --help tells more)\n",
        stderr);
}

}  // namespace c2m

#include "driver/command_line.hpp"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "common/errors.hpp"
#include "common/version.hpp"

namespace c2m {

namespace {

constexpr const char* help = R"(Usage: conv2model < LINES
       conv2model --help | --version
Convert one pressure-level analysis into the initial data of the limited-area model.

Standard input, two lines:
  line 1  the path of the input field file (the text before its first blank, at
          most 239 characters)
  line 2  any text; it must be present and is not used
The grid comes from ./InputModelInf.txt in the working directory.

Writes, next to the input field file PATH:
  PATH.ORUwrk           the work file
  PATH.ORUwrk.gdsinfo   the grid description info file
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
  -h, --help     show this help and exit
      --version  show the version and exit

Manual: man conv2model
)";

int print(const char* text) {
  if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "conv2model: standard output: cannot write\n");
    return exit_io_failure;
  }
  return 0;
}

}  // namespace

int answer_arguments(int argc, char** argv) {
  bool wants_help = false;
  for (int k = 1; k < argc; ++k) {
    const std::string_view a = argv[k];
    if (a == "-h" || a == "--help") {
      wants_help = true;
    } else if (a != "--version") {
      std::fprintf(stderr,
                   "conv2model: unknown argument '%s': the input comes on standard input;"
                   " see 'conv2model --help'\n",
                   argv[k]);
      return exit_usage;
    }
  }
  if (wants_help) return print(help);
  return print((std::string("conv2model ") + version + "\n").c_str());
}

void prompt_for_input() {
  if (::isatty(STDIN_FILENO))
    std::fputs(
        "conv2model: reading standard input: line 1 the input field file, line 2 any text"
        " (conv2model --help tells more)\n",
        stderr);
}

}  // namespace c2m

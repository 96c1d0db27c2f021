// The command line of the C++ programs: one table of options per program (or command),
// one parser, one answer to --help and --version, one way to report a wrong command
// line (status 64, one line naming the program and pointing to --help), one way to read
// a number, and one catch that turns a failure into the exit status (run_program).
//
// The table is data: each option's names, whether it takes a value and of what kind, and
// its help text, from which the help's "Options:" block is written. Every program prints
// its table with the hidden option --options-table (a command's with
// "PROGRAM COMMAND --options-table"; conv2model-inspect's own prints every command's),
// one option a line, fields separated by a tab:
//   COMMAND LONG SHORT KIND VALUE_NAME VALUES HELP
// COMMAND is empty for a program without commands, LONG and SHORT are empty when the
// option has none, KIND is one of value_kind_name's words, VALUES the choices of a word
// or a word list, or the file name pattern of a file ("*.png", empty for any file), and
// HELP the help text on one line. --help and --version come last. Shell completion and
// the manual-page checks read it there rather than from the help's layout.
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

// What an option's value is, for the help and for completion.
enum class value_kind {
  none,       // a flag
  number,     // a decimal number (number_in)
  count,      // a whole number (whole_number_in)
  word,       // one of `values`, or free text when there are none
  word_list,  // words or numbers separated by commas or slashes
  file,       // a file name; `values` is its pattern
  time,       // a date and time
};

// "none", "number", "count", "word", "word-list", "file", "time".
std::string_view value_kind_name(value_kind k);

// One option. A long name ("--area") or a short one ('o'), or both; an option with a
// value takes it from the next argument, or after '=' in the long form.
struct cli_option {
  constexpr cli_option(std::string_view long_name_, char short_name_ = 0,
                       value_kind kind_ = value_kind::none, std::string_view value_name_ = {},
                       std::string_view help_ = {}, std::string_view values_ = {})
      : long_name(long_name_),
        short_name(short_name_),
        kind(kind_),
        value_name(value_name_),
        help(help_),
        values(values_) {}

  std::string_view long_name;  // with its dashes; empty when there is none
  char short_name = 0;         // 0 when there is none
  value_kind kind = value_kind::none;
  std::string_view value_name;  // as the help shows the value: "N/W/S/E"
  std::string_view help;        // lines separated by '\n', as the help shows them
  std::string_view values;      // see value_kind

  bool takes_value() const { return kind != value_kind::none; }
  std::string name() const;  // the long name, else "-" and the short one
};

// The two every program has besides its table.
extern const cli_option help_option;
extern const cli_option version_option;

struct cli_syntax {
  std::span<const cli_option> options;
  // Arguments that are not options; a program that takes none refuses "--" too.
  std::size_t most_operands = std::numeric_limits<std::size_t>::max();
};

// The arguments, split. Options are named by their long name, else "-" and the short one.
struct parsed_command_line {
  struct given_option {
    std::size_t index;        // in the syntax's table
    std::string name, value;  // value "" for a flag
  };
  bool help = false;
  bool version = false;
  bool options_table = false;
  std::vector<given_option> given;  // in the order given
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

// A finite decimal number, the whole of text ("1e3", "-0.5"; not " 1", "0x1", "inf").
std::optional<double> number_in(std::string_view text);
// A whole decimal number, the whole of text.
std::optional<long long> whole_number_in(std::string_view text);

// An option bound to what it sets: the table of a program whose options fill a T. apply
// gets the value ("" for a flag) and throws usage_error when it is wrong.
template <class T>
struct option_rule {
  cli_option option;
  void (*apply)(T&, const std::string& value);
};

template <class T>
std::vector<cli_option> table_of(std::span<const option_rule<T>> rules) {
  std::vector<cli_option> options;
  for (const option_rule<T>& r : rules) options.push_back(r.option);
  return options;
}

// Applies the options given, in the order given (a later one wins), to target.
template <class T>
void apply_options(const parsed_command_line& c, std::span<const option_rule<T>> rules, T& target) {
  for (const parsed_command_line::given_option& g : c.given) rules[g.index].apply(target, g.value);
}

// The help's "Options:" lines for the table and then --help and --version: names from
// column 2 ("  -o, --long VALUE"), help from `column` (on the next line when the names
// reach it).
std::string options_help(std::span<const cli_option> options, std::size_t column);

// The table as --options-table prints it (see above), without --help and --version
// when with_builtins is false.
void print_options_table(std::span<const cli_option> options, std::string_view command,
                         std::ostream& out, bool with_builtins = true);

// When --help (which wins), --options-table or --version was given: prints the help
// text, the table or "PROGRAM VERSION" on out and returns the exit status (1 with a
// diagnostic on err when out cannot be written). Otherwise nothing.
std::optional<int> answer_help_or_version(const parsed_command_line& c, std::string_view program,
                                          std::string_view help, std::ostream& out,
                                          std::ostream& err,
                                          std::span<const cli_option> options = {});

// "PROGRAM: WHAT; see 'PROGRAM --help'" on err; returns exit_usage. PROGRAM may name a
// command too ("conv2model-inspect stats").
int report_usage_error(std::string_view program, const usage_error& e, std::ostream& err);

// What every program does with a failure: a usage_error is reported as above, naming the
// command after the program when there is one; any other exception becomes
// "PROGRAM: WHAT" (an allocation failure "PROGRAM: out of memory") and the status
// `failure`. Call from inside a catch block.
int report_failure(std::string_view program, std::string_view command, int failure,
                   std::ostream& err);

// True when out and the C standard output took everything written to them.
bool flushed(std::ostream& out);

// Runs body (which returns the exit status), then flushes out; every failure of either
// becomes its diagnostic and status through report_failure.
template <class Body>
int run_program(std::string_view program, int failure, std::ostream& out, std::ostream& err,
                Body&& body, std::string_view command = {}) {
  int status = failure;
  try {
    status = body();
  } catch (...) {
    return report_failure(program, command, failure, err);
  }
  if (!flushed(out)) {
    err << program << ": cannot write standard output\n";
    return failure;
  }
  return status;
}

}  // namespace c2m

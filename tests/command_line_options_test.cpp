// The command-line skeleton the C++ programs share: what it accepts, what it refuses and
// how it answers.
#include "common/command_line_options.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "common/version.hpp"

namespace c2m {
namespace {

using args = std::vector<std::string>;

constexpr cli_option table[] = {
    {"", 'o', true}, {"--area", 0, true}, {"--levels", 'l', true}, {"--inventory", 0, false}};

parsed_command_line parse(const args& a, std::size_t most_operands = 2) {
  return parse_command_line(a, cli_syntax{table, most_operands});
}

// The message and the argument at fault of the usage error the arguments give.
std::pair<std::string, std::string> refusal(const args& a, std::size_t most_operands = 2) {
  try {
    parse(a, most_operands);
  } catch (const usage_error& e) {
    return {e.what(), e.argument};
  }
  return {"(accepted)", ""};
}

TEST(command_line_options, options_in_every_form_and_operands_in_order) {
  const parsed_command_line c = parse({"a.grib", "-o", "x.bin", "--area=60/-10/30/20",
                                       "--inventory", "--levels", "850", "-l", "500", "b.nc"});
  EXPECT_EQ(c.operands, (args{"a.grib", "b.nc"}));
  EXPECT_EQ(c.value("-o"), "x.bin");
  EXPECT_EQ(c.value("--area"), "60/-10/30/20");
  EXPECT_EQ(c.value("--levels"), "500");  // the last one given, by either name
  EXPECT_TRUE(c.has("--inventory"));
  EXPECT_FALSE(c.has("--area=60/-10/30/20"));
  EXPECT_FALSE(c.value("--inventory-x"));
  EXPECT_FALSE(c.help || c.version);
}

TEST(command_line_options, a_value_is_the_next_argument_whatever_it_looks_like) {
  const parsed_command_line c = parse({"--area", "-10/0/-20/30", "-o", "--inventory"});
  EXPECT_EQ(c.value("--area"), "-10/0/-20/30");
  EXPECT_EQ(c.value("-o"), "--inventory");
  EXPECT_FALSE(c.has("--inventory"));
  EXPECT_TRUE(c.operands.empty());
}

TEST(command_line_options, double_dash_ends_the_options_and_a_lone_dash_is_an_operand) {
  const parsed_command_line c = parse({"-", "--", "--inventory"});
  EXPECT_EQ(c.operands, (args{"-", "--inventory"}));
  EXPECT_FALSE(c.has("--inventory"));
}

TEST(command_line_options, help_and_version_are_there_without_a_table_entry) {
  EXPECT_TRUE(parse({"-h"}).help);
  EXPECT_TRUE(parse({"--help"}).help);
  EXPECT_TRUE(parse({"--version"}).version);
}

TEST(command_line_options, each_wrong_argument_is_named) {
  const struct {
    args given;
    std::string says, at;
  } cases[] = {
      {{"--bogus"}, "unknown option '--bogus'", "--bogus"},
      {{"--bogus=3"}, "unknown option '--bogus'", "--bogus=3"},
      {{"-x", "a"}, "unknown option '-x'", "-x"},
      {{"-o=a.bin"}, "unknown option '-o=a.bin'", "-o=a.bin"},
      {{"--are", "1/2/3/4"}, "unknown option '--are'", "--are"},
      {{"a", "--area"}, "option --area needs a value", "--area"},
      {{"-o"}, "option -o needs a value", "-o"},
      {{"--inventory=yes"}, "option --inventory takes no value", "--inventory=yes"},
      {{"--help=all"}, "option --help takes no value", "--help=all"},
      {{"--version=1"}, "option --version takes no value", "--version=1"},
      {{"a", "b", "c"}, "unexpected argument 'c'", "c"},
      {{"--", "a", "b", "-c"}, "unexpected argument '-c'", "-c"},
      // A wrong argument is refused even beside --help.
      {{"--help", "--bogus"}, "unknown option '--bogus'", "--bogus"},
  };
  for (const auto& c : cases) {
    const auto [says, at] = refusal(c.given);
    EXPECT_EQ(says, c.says) << c.given[0];
    EXPECT_EQ(at, c.at) << c.given[0];
  }
}

TEST(command_line_options, a_program_without_operands_refuses_every_other_argument) {
  for (const std::string a : {"", "-", "--", "x.bin"})
    EXPECT_EQ(refusal({"--version", a}, 0), std::make_pair("unexpected argument '" + a + "'", a));
  EXPECT_TRUE(parse({"--version", "-h"}, 0).help);
}

TEST(command_line_options, help_wins_over_version_and_is_printed_as_given) {
  std::ostringstream out, err;
  const parsed_command_line both = parse({"--version", "--help"});
  EXPECT_EQ(answer_help_or_version(both, "prog", "Usage: prog\n", out, err), 0);
  EXPECT_EQ(out.str(), "Usage: prog\n");
  out.str("");
  EXPECT_EQ(answer_help_or_version(parse({"--version"}), "prog", "Usage\n", out, err), 0);
  EXPECT_EQ(out.str(), std::string("prog ") + version + "\n");
  out.str("");
  EXPECT_EQ(answer_help_or_version(parse({"a"}), "prog", "Usage\n", out, err), std::nullopt);
  EXPECT_EQ(out.str() + err.str(), "");
}

TEST(command_line_options, a_help_that_cannot_be_written_is_a_failure) {
  std::ostringstream out, err;
  out.setstate(std::ios::badbit);
  EXPECT_EQ(answer_help_or_version(parse({"-h"}), "prog", "Usage\n", out, err), exit_io_failure);
  EXPECT_EQ(err.str(), "prog: standard output: cannot write\n");
}

TEST(command_line_options, a_usage_error_is_one_line_and_status_64) {
  std::ostringstream err;
  EXPECT_EQ(report_usage_error("prog cmd", usage_error("unknown option '--x'"), err), 64);
  EXPECT_EQ(err.str(), "prog cmd: unknown option '--x'; see 'prog cmd --help'\n");
}

}  // namespace
}  // namespace c2m

// The command-line skeleton the C++ programs share: what it accepts, what it refuses and
// how it answers.
#include "common/command_line_options.hpp"

#include <gtest/gtest.h>

#include <new>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "common/version.hpp"

namespace c2m {
namespace {

using args = std::vector<std::string>;

constexpr cli_option table[] = {{"", 'o', value_kind::file, "NAME"},
                                {"--area", 0, value_kind::word_list, "N/W/S/E"},
                                {"--levels", 'l', value_kind::word_list, "LIST"},
                                {"--inventory"}};

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

TEST(command_line_options, numbers_are_decimal_and_finite_and_the_whole_text) {
  EXPECT_EQ(number_in("1e3"), 1000.0);
  EXPECT_EQ(number_in("-0.5"), -0.5);
  for (const char* wrong : {"", " 1", "1 ", "0x10", "inf", "nan", "1e999", "1,5", "+"})
    EXPECT_EQ(number_in(wrong), std::nullopt) << wrong;
  EXPECT_EQ(whole_number_in("-12"), -12);
  for (const char* wrong : {"", "1.0", "1e3", "99999999999999999999", "7x"})
    EXPECT_EQ(whole_number_in(wrong), std::nullopt) << wrong;
}

struct settings {
  std::string output;
  bool inventory = false;
  std::vector<std::string> order;
};

const option_rule<settings> rules[] = {
    {{"", 'o', value_kind::file, "NAME", "the file to write;\nthe last one wins", "*.bin"},
     [](settings& s, const std::string& v) {
       s.output = v;
       s.order.push_back("o");
     }},
    {{"--inventory", 0, value_kind::none, "", "list, write nothing"},
     [](settings& s, const std::string&) {
       s.inventory = true;
       s.order.push_back("inventory");
     }},
    {{"--decode-limit", 'd', value_kind::number, "SECONDS", "a long one"},
     [](settings& s, const std::string& v) {
       if (!number_in(v)) throw usage_error("--decode-limit: not a number", v);
       s.order.push_back("limit");
     }},
};

TEST(command_line_options, rules_apply_the_options_in_the_order_given) {
  const std::vector<cli_option> options = table_of(std::span<const option_rule<settings>>(rules));
  const parsed_command_line c =
      parse_command_line(args{"-o", "a.bin", "--inventory", "-o", "b.bin"}, cli_syntax{options});
  settings s;
  apply_options(c, std::span<const option_rule<settings>>(rules), s);
  EXPECT_EQ(s.output, "b.bin");
  EXPECT_TRUE(s.inventory);
  EXPECT_EQ(s.order, (args{"o", "inventory", "o"}));
  const parsed_command_line wrong = parse_command_line(args{"-d", "soon"}, cli_syntax{options});
  EXPECT_THROW(apply_options(wrong, std::span<const option_rule<settings>>(rules), s), usage_error);
}

TEST(command_line_options, the_help_lists_the_table_and_then_help_and_version) {
  const std::vector<cli_option> options = table_of(std::span<const option_rule<settings>>(rules));
  EXPECT_EQ(options_help(options, 20),
            "  -o NAME           the file to write;\n"
            "                    the last one wins\n"
            "      --inventory   list, write nothing\n"
            "  -d, --decode-limit SECONDS\n"
            "                    a long one\n"
            "  -h, --help        show this help and exit\n"
            "      --version     show the version and exit\n");
}

TEST(command_line_options, the_table_prints_as_tab_separated_lines_on_request) {
  const std::vector<cli_option> options = table_of(std::span<const option_rule<settings>>(rules));
  const parsed_command_line c = parse_command_line(args{"--options-table"}, cli_syntax{options});
  std::ostringstream out, err;
  EXPECT_EQ(answer_help_or_version(c, "prog", "Usage\n", out, err, options), 0);
  EXPECT_EQ(out.str(),
            "\t\t-o\tfile\tNAME\t*.bin\tthe file to write; the last one wins\n"
            "\t--inventory\t\tnone\t\t\tlist, write nothing\n"
            "\t--decode-limit\t-d\tnumber\tSECONDS\t\ta long one\n"
            "\t--help\t-h\tnone\t\t\tshow this help and exit\n"
            "\t--version\t\tnone\t\t\tshow the version and exit\n");
  EXPECT_EQ(err.str(), "");
  EXPECT_THROW(parse_command_line(args{"--options-table=x"}, cli_syntax{options}), usage_error);
}

TEST(command_line_options, every_failure_becomes_one_line_and_its_status) {
  const auto status_of = [](auto thrower, std::string& said) {
    std::ostringstream out, err;
    const int status = run_program("prog", 7, out, err, thrower, "cmd");
    said = err.str();
    return status;
  };
  std::string said;
  EXPECT_EQ(status_of([]() -> int { throw usage_error("unknown option '--x'"); }, said), 64);
  EXPECT_EQ(said, "prog cmd: unknown option '--x'; see 'prog cmd --help'\n");
  EXPECT_EQ(status_of([]() -> int { throw run_error("a.bin: cannot open"); }, said), 7);
  EXPECT_EQ(said, "prog: a.bin: cannot open\n");
  EXPECT_EQ(status_of([]() -> int { throw data_stop("a.bin: no height"); }, said), exit_data_stop);
  EXPECT_EQ(said, "prog: conversion stopped, no output written: a.bin: no height\n");
  EXPECT_EQ(status_of([]() -> int { throw std::bad_alloc(); }, said), 7);
  EXPECT_EQ(said, "prog: out of memory\n");
  EXPECT_EQ(status_of([]() -> int { throw std::logic_error("bug"); }, said), 7);
  EXPECT_EQ(said, "prog: internal error: bug\n");
  EXPECT_EQ(status_of([]() -> int { throw 3; }, said), 7);
  EXPECT_EQ(said, "prog: internal error\n");
  EXPECT_EQ(status_of([] { return 1; }, said), 1);
  EXPECT_EQ(said, "");
}

TEST(command_line_options, output_that_cannot_be_written_is_a_failure) {
  std::ostringstream out, err;
  out.setstate(std::ios::badbit);
  EXPECT_EQ(run_program("prog", 5, out, err, [] { return 0; }), 5);
  EXPECT_EQ(err.str(), "prog: cannot write standard output\n");
}

}  // namespace
}  // namespace c2m

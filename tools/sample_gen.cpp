// sample_gen: writes a deterministic sample analysis for conv2model.
//   sample_gen [OPTION]... DIR IM JM LM
// writes DIR/FILE (default sample.bin), DIR/InputModelInf.txt and DIR/stdin.txt.
// --missing-ht-level L makes a case that stops for data (height missing at level L, 1 =
// bottom); --cut-short one that fails on input (the file ends inside its second record);
// --hour H a later time of a series (the waves move east).
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include "common/command_line_options.hpp"
#include "common/errors.hpp"
#include "common/grid_config_file.hpp"
#include "tools/record_writer.hpp"
#include "tools/sample_analysis.hpp"

namespace {

using namespace c2m;

constexpr std::string_view program = "sample_gen";

struct request {
  sample::sample_options sample;
  std::string name = "sample.bin";
  bool cut_short = false;
};

// A whole number from `least` up that fits an int, for the option or operand `what`.
int whole(const std::string& text, std::string_view what, long long least) {
  const std::optional<long long> n = whole_number_in(text);
  if (!n || *n < least || *n > 100000)
    throw usage_error(std::string(what) + " must be a whole number from " + std::to_string(least) +
                          " to 100000, not '" + text + "'",
                      text);
  return static_cast<int>(*n);
}

using rule = option_rule<request>;
using k = value_kind;

const rule rules[] = {
    {{"--global", 0, k::none, "", "the whole globe instead of a quarter-degree window"},
     [](request& r, const std::string&) { r.sample.global = true; }},
    {{"--missing-rh-top", 0, k::count, "N", "the top N levels of rh hold the fill value"},
     [](request& r, const std::string& v) {
       r.sample.missing_rh_top = whole(v, "--missing-rh-top", 0);
     }},
    {{"--missing-ht-level", 0, k::count, "L",
      "level L (1 = bottom) of ht holds the fill value: the\nconversion stops for data"},
     [](request& r, const std::string& v) {
       r.sample.missing_ht_level = whole(v, "--missing-ht-level", 0);
     }},
    {{"--cut-short", 0, k::none, "", "end the file inside its second record"},
     [](request& r, const std::string&) { r.cut_short = true; }},
    {{"--hour", 0, k::number, "H", "hours after the base time (the waves move east)"},
     [](request& r, const std::string& v) {
       const std::optional<double> h = number_in(v);
       if (!h) throw usage_error("--hour must be a number, not '" + v + "'", v);
       r.sample.hour = *h;
     }},
    {{"--name", 0, k::file, "FILE", "the input field file to write (default sample.bin)", "*.bin"},
     [](request& r, const std::string& v) { r.name = v; }},
};

std::span<const cli_option> option_table() {
  static const std::vector<cli_option> table = table_of(std::span<const rule>(rules));
  return table;
}

std::string help() {
  return "Usage: sample_gen [OPTION]... DIR IM JM LM\n"
         "Write a deterministic sample analysis of IM x JM points and LM levels for\n"
         "conv2model: DIR/FILE, DIR/InputModelInf.txt and DIR/stdin.txt.\n\n"
         "Options:\n" +
         options_help(option_table(), 27);
}

int run(const std::vector<std::string>& args) {
  const parsed_command_line c = parse_command_line(args, {option_table(), 4});
  if (const auto answered =
          answer_help_or_version(c, program, help(), std::cout, std::cerr, option_table()))
    return *answered;
  if (c.operands.size() < 4) throw usage_error("missing operand");
  request r;
  apply_options(c, std::span<const rule>(rules), r);
  const std::string& dir = c.operands[0];
  const auto a = sample::make_sample(whole(c.operands[1], "IM", 2), whole(c.operands[2], "JM", 2),
                                     whole(c.operands[3], "LM", 1), r.sample);
  sample::write_input_file(dir + "/" + r.name, a, r.cut_short);
  sample::write_file(dir + "/" + std::string(grid_config_file::name),
                     sample::grid_config_text(a, r.sample.title));
  sample::write_file(dir + "/stdin.txt", r.name + "\nsample analysis\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return run_program(program, exit_io_failure, std::cout, std::cerr, [&] { return run(args); });
}

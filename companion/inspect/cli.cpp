#include "companion/inspect/cli.hpp"

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

#include "common/command_line_options.hpp"
#include "common/errors.hpp"
#include "companion/common/staged_output.hpp"
#include "companion/common/work_file.hpp"
#include "companion/inspect/compare.hpp"
#include "companion/inspect/grid_axes.hpp"
#include "companion/inspect/help_texts.hpp"
#include "companion/inspect/netcdf_export.hpp"
#include "companion/inspect/overview.hpp"
#include "companion/inspect/png_export.hpp"
#include "companion/inspect/stats.hpp"

namespace c2m::inspect {

namespace {

constexpr std::string_view program = "conv2model-inspect";

using command_line = parsed_command_line;

// The command line as a shell would take it back, for the history of an exported file.
std::string quoted_command(const std::string& name, std::span<const std::string> args) {
  std::string line = std::string(program) + " " + name;
  for (const std::string& a : args) {
    const bool plain = !a.empty() && a.find_first_not_of(
                                         "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLM"
                                         "NOPQRSTUVWXYZ0123456789-_./:=,+@%") == std::string::npos;
    if (plain) {
      line += " " + a;
      continue;
    }
    line += " '";
    for (const char ch : a) line += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    line += "'";
  }
  return line;
}

// The grid's notes (increments that disagree with the end points, a scanning mode that
// disagrees with their order), once, as warnings.
void warn_about_grid(const companion::work_file& w, std::ostream& err) {
  try {
    for (const std::string& note : make_axes(w.info, w.info_path()).notes)
      err << program << ": warning: " << note << '\n';
  } catch (const run_error&) {
    // Not a latitude/longitude grid: the command itself says so where it matters.
  }
}

std::int32_t parse_level(const std::string& text) {
  const std::optional<long long> level = whole_number_in(text);
  if (!level || *level < 1 || *level > std::numeric_limits<std::int32_t>::max())
    throw usage_error("LEVEL must be a whole number from 1, not '" + text + "'", text);
  return static_cast<std::int32_t>(*level);
}

// What the options of a command ask for.
struct request {
  bool check = false, histogram = false;
  double tolerance = 0.0;
  std::optional<double> hpa;
  picture_options picture;
  netcdf_options netcdf;
};

using rule = option_rule<request>;
using k = value_kind;

double number_value(const std::string& text, std::string_view option) {
  const std::optional<double> x = number_in(text);
  if (!x) throw usage_error(std::string(option) + " must be a number, not '" + text + "'", text);
  return *x;
}

analysis_time time_value(const std::string& text) {
  try {
    return parse_analysis_time(text);
  } catch (const run_error& e) {
    throw usage_error(e.what(), text);
  }
}

// --time, whose help each command words for what it does with the time.
rule time_rule(std::string_view help) {
  return {{"--time", 0, k::time, "T", help},
          [](request& r, const std::string& v) { r.picture.time = r.netcdf.time = time_value(v); }};
}

const rule stats_rules[] = {
    {{"--check", 0, k::none, "",
      "exit with status 1 when any flag is raised, so that a script\n"
      "can stop before a forecast is run on the file"},
     [](request& r, const std::string&) { r.check = true; }},
    {{"--histogram", 0, k::none, "",
      "add below each record the counts of its valid points in ten\n"
      "equal bins from its minimum to its maximum"},
     [](request& r, const std::string&) { r.histogram = true; }},
};

const rule compare_rules[] = {
    {{"--tolerance", 0, k::number, "X",
      "largest difference still counted as equal (default 0: exact)"},
     [](request& r, const std::string& v) {
       const std::optional<double> x = number_in(v);
       if (!x || *x < 0.0)
         throw usage_error("--tolerance must be a number of at least 0, not '" + v + "'", v);
       r.tolerance = *x;
     }},
};

const rule netcdf_rules[] = {
    time_rule("analysis time, such as 2024-01-15T00:00 (UTC): adds a\n"
              "time coordinate of one step"),
    {{"--soil-depths", 0, k::word_list, "D",
      "depths of the bottoms of the four soil layers in metres,\n"
      "such as 0.1,0.4,1,2: the soil axes become depths (cm,\n"
      "with bounds), GRIB layers below the land; without it\n"
      "the layers are numbered 1 to 4 (GRIB 2) or stand on\n"
      "no axis (GRIB 1), their depths stated as unknown"},
     [](request& r, const std::string& v) {
       try {
         r.netcdf.soil_depths = parse_soil_depths(v);
       } catch (const run_error& e) {
         throw usage_error(e.what(), v);
       }
     }},
    {{"--grib-edition", 0, k::word, "N", "1 (default) or 2: the GRIB edition CDO is to write",
      "1 2"},
     [](request& r, const std::string& v) {
       if (v != "1" && v != "2")
         throw usage_error("--grib-edition must be 1 or 2, not '" + v + "'", v);
       r.netcdf.grib_edition = v == "1" ? 1 : 2;
     }},
    {{"--deflate", 0, k::word, "N",
      "compression: 0 for none, 1 (default) to 9 for shuffle and\n"
      "deflate at that level; each level of a field is a chunk",
      "0 1 2 3 4 5 6 7 8 9"},
     [](request& r, const std::string& v) {
       if (v.size() != 1 || v[0] < '0' || v[0] > '9')
         throw usage_error("--deflate must be a level from 0 to 9, not '" + v + "'", v);
       r.netcdf.deflate = v[0] - '0';
     }},
};

const rule png_rules[] = {
    {{"--hpa", 0, k::number, "P", "the level whose pressure is P hPa, instead of LEVEL"},
     [](request& r, const std::string& v) { r.hpa = number_value(v, "--hpa"); }},
    {{"--min", 0, k::number, "X", "the value at the low end of the colours (in the units shown)"},
     [](request& r, const std::string& v) { r.picture.min = number_value(v, "--min"); }},
    {{"--max", 0, k::number, "X", "the value at the high end of the colours"},
     [](request& r, const std::string& v) { r.picture.max = number_value(v, "--max"); }},
    time_rule("the analysis time, such as 2024-01-15T00:00 (UTC), named in the\n"
              "subtitle (neither the work file nor its info file records it)"),
};

const rule overview_rules[] = {
    time_rule("the analysis time, such as 2024-01-15T00:00 (UTC), named in the\n"
              "title (neither the work file nor its info file records it)"),
};

int run_stats(const command_line& c, const request& r, std::ostream& out, std::ostream&) {
  const std::size_t raised =
      print_stats(companion::read_work_file(c.operands[0]), r.histogram, out);
  return r.check && raised > 0 ? exit_flagged : exit_ok;
}

int run_compare(const command_line& c, const request& r, std::ostream& out, std::ostream&) {
  const companion::work_file a = companion::read_work_file(c.operands[0]);
  const companion::work_file b = companion::read_work_file(c.operands[1]);
  const comparison result = compare_work_files(a, b, r.tolerance);
  print_comparison(result, a, b, r.tolerance, out);
  return result.match() ? exit_ok : exit_differ;
}

int run_netcdf(const command_line& c, const request& r, std::ostream&, std::ostream& err) {
  const companion::work_file w = companion::read_work_info(c.operands[0]);
  companion::check_outputs_are_not_inputs({w.path, w.info_path()}, {c.operands[1]});
  warn_about_grid(w, err);
  export_netcdf(w, c.operands[1], r.netcdf);
  return exit_ok;
}

int run_png(const command_line& c, const request& r, std::ostream&, std::ostream& err) {
  if (r.hpa && c.operands.size() == 4)
    throw usage_error("extra operand '" + c.operands[2] + "': --hpa gives the level",
                      c.operands[2]);
  if (r.picture.min && r.picture.max && !(*r.picture.min < *r.picture.max))
    throw usage_error("--min must be below --max", "--min");
  std::int32_t level = c.operands.size() == 4 ? parse_level(c.operands[2]) : 0;
  const companion::work_file w = companion::read_work_file(c.operands[0]);
  if (r.hpa) level = companion::level_of_pressure(w.info, *r.hpa);
  const companion::record_id id = companion::find_record(w.info, c.operands[1], level);
  companion::check_outputs_are_not_inputs({w.path, w.info_path()}, {c.operands.back()});
  warn_about_grid(w, err);
  write_quicklook(w, id, r.picture, c.operands.back());
  return exit_ok;
}

int run_overview(const command_line& c, const request& r, std::ostream&, std::ostream& err) {
  const companion::work_file w = companion::read_work_file(c.operands[0]);
  companion::check_outputs_are_not_inputs({w.path, w.info_path()}, {c.operands[1]});
  warn_about_grid(w, err);
  write_overview(w, r.picture, c.operands[1]);
  return exit_ok;
}

struct command {
  std::string_view name;
  const help_text* help;
  std::span<const rule> rules;
  std::size_t column;       // of the options' help
  std::size_t least, most;  // operands
  int (*run)(const command_line&, const request&, std::ostream&, std::ostream&);
};

const command commands[] = {
    {"stats", &stats_help, stats_rules, 19, 1, 1, run_stats},
    {"compare", &compare_help, compare_rules, 21, 2, 2, run_compare},
    {"netcdf", &netcdf_help, netcdf_rules, 26, 2, 2, run_netcdf},
    {"png", &png_help, png_rules, 18, 3, 4, run_png},
    {"overview", &overview_help, overview_rules, 18, 2, 2, run_overview},
};

const command* find_command(std::string_view name) {
  for (const command& c : commands)
    if (name == c.name) return &c;
  return nullptr;
}

std::string help_of(const help_text& h, std::span<const cli_option> options, std::size_t column) {
  return h.head + options_help(options, column) + h.tail;
}

int run_command(const command& cmd, std::span<const std::string> args, std::ostream& out,
                std::ostream& err) {
  const std::vector<cli_option> options = table_of(cmd.rules);
  const command_line c = parse_command_line(args, {options, cmd.most});
  const std::string help = help_of(*cmd.help, options, cmd.column);
  if (const std::optional<int> answered =
          answer_help_or_version(c, program, help, out, err, options))
    return *answered;
  if (c.operands.size() < cmd.least) throw usage_error("missing operand");
  request r;
  apply_options(c, cmd.rules, r);
  r.netcdf.command_line = quoted_command(std::string(cmd.name), args);
  return cmd.run(c, r, out, err);
}

// Without a command: --help, --version, every command's options, or a wrong command line.
int run_without_command(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  const command_line c = parse_command_line(args, {{}, 0});
  if (c.options_table && !c.help) {
    for (const command& cmd : commands) print_options_table(table_of(cmd.rules), cmd.name, out);
    print_options_table({}, "", out);
    return exit_ok;
  }
  if (const std::optional<int> answered =
          answer_help_or_version(c, program, help_of(main_help, {}, 17), out, err))
    return *answered;
  throw usage_error("missing command");
}

}  // namespace

int inspect_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const bool named = !args.empty() && !args[0].starts_with("-");
  const command* cmd = named ? find_command(args[0]) : nullptr;
  const auto body = [&] {
    if (!named) return run_without_command(args, out, err);
    if (cmd == nullptr) throw usage_error("unknown command '" + args[0] + "'", args[0]);
    return run_command(*cmd, std::span(args).subspan(1), out, err);
  };
  return run_program(program, exit_error, out, err, body, cmd != nullptr ? cmd->name : "");
}

}  // namespace c2m::inspect

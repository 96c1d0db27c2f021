#include "companion/inspect/cli.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <new>
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

// A finite number, the whole of text.
std::optional<double> parse_number(const std::string& text) {
  char* end = nullptr;
  const double x = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(x)) return std::nullopt;
  return x;
}

double parse_tolerance(const std::optional<std::string>& text) {
  if (!text) return 0.0;
  const std::optional<double> x = parse_number(*text);
  if (!x || *x < 0.0)
    throw usage_error("--tolerance must be a number of at least 0, not '" + *text + "'", *text);
  return *x;
}

std::optional<double> number_option(const command_line& c, std::string_view option) {
  const std::optional<std::string> text = c.value(option);
  if (!text) return std::nullopt;
  const std::optional<double> x = parse_number(*text);
  if (!x) throw usage_error(std::string(option) + " must be a number, not '" + *text + "'", *text);
  return x;
}

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
  std::int32_t level = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), level);
  if (ec != std::errc{} || end != text.data() + text.size() || level < 1)
    throw usage_error("LEVEL must be a whole number from 1, not '" + text + "'", text);
  return level;
}

std::optional<analysis_time> time_option(const command_line& c) {
  const std::optional<std::string> text = c.value("--time");
  if (!text) return std::nullopt;
  try {
    return parse_analysis_time(*text);
  } catch (const run_error& e) {
    throw usage_error(e.what(), *text);
  }
}

int run_stats(const command_line& c, std::span<const std::string>, std::ostream& out,
              std::ostream&) {
  const std::size_t raised =
      print_stats(companion::read_work_file(c.operands[0]), c.has("--histogram"), out);
  return c.has("--check") && raised > 0 ? exit_flagged : exit_ok;
}

int run_compare(const command_line& c, std::span<const std::string>, std::ostream& out,
                std::ostream&) {
  const double tolerance = parse_tolerance(c.value("--tolerance"));
  const companion::work_file a = companion::read_work_file(c.operands[0]);
  const companion::work_file b = companion::read_work_file(c.operands[1]);
  const comparison result = compare_work_files(a, b, tolerance);
  print_comparison(result, a, b, tolerance, out);
  return result.match() ? exit_ok : exit_differ;
}

netcdf_options netcdf_options_of(const command_line& c, std::span<const std::string> args) {
  netcdf_options options;
  options.time = time_option(c);
  if (const auto d = c.value("--soil-depths")) {
    try {
      options.soil_depths = parse_soil_depths(*d);
    } catch (const run_error& e) {
      throw usage_error(e.what(), *d);
    }
  }
  if (const auto g = c.value("--grib-edition")) {
    if (*g != "1" && *g != "2")
      throw usage_error("--grib-edition must be 1 or 2, not '" + *g + "'", *g);
    options.grib_edition = *g == "1" ? 1 : 2;
  }
  if (const auto d = c.value("--deflate")) {
    if (d->size() != 1 || (*d)[0] < '0' || (*d)[0] > '9')
      throw usage_error("--deflate must be a level from 0 to 9, not '" + *d + "'", *d);
    options.deflate = (*d)[0] - '0';
  }
  options.command_line = quoted_command("netcdf", args);
  return options;
}

int run_netcdf(const command_line& c, std::span<const std::string> args, std::ostream&,
               std::ostream& err) {
  const netcdf_options options = netcdf_options_of(c, args);
  const companion::work_file w = companion::read_work_info(c.operands[0]);
  companion::check_outputs_are_not_inputs({w.path, w.info_path()}, {c.operands[1]});
  warn_about_grid(w, err);
  export_netcdf(w, c.operands[1], options);
  return exit_ok;
}

int run_png(const command_line& c, std::span<const std::string>, std::ostream&, std::ostream& err) {
  const std::optional<double> hpa = number_option(c, "--hpa");
  if (hpa && c.operands.size() == 4)
    throw usage_error("extra operand '" + c.operands[2] + "': --hpa gives the level",
                      c.operands[2]);
  picture_options options;
  options.min = number_option(c, "--min");
  options.max = number_option(c, "--max");
  if (options.min && options.max && !(*options.min < *options.max))
    throw usage_error("--min must be below --max", "--min");
  options.time = time_option(c);
  std::int32_t level = c.operands.size() == 4 ? parse_level(c.operands[2]) : 0;
  const companion::work_file w = companion::read_work_file(c.operands[0]);
  if (hpa) level = companion::level_of_pressure(w.info, *hpa);
  const companion::record_id r = companion::find_record(w.info, c.operands[1], level);
  companion::check_outputs_are_not_inputs({w.path, w.info_path()}, {c.operands.back()});
  warn_about_grid(w, err);
  write_quicklook(w, r, options, c.operands.back());
  return exit_ok;
}

int run_overview(const command_line& c, std::span<const std::string>, std::ostream&,
                 std::ostream& err) {
  picture_options options;
  options.time = time_option(c);
  const companion::work_file w = companion::read_work_file(c.operands[0]);
  companion::check_outputs_are_not_inputs({w.path, w.info_path()}, {c.operands[1]});
  warn_about_grid(w, err);
  write_overview(w, options, c.operands[1]);
  return exit_ok;
}

constexpr cli_option stats_options[] = {{"--check", 0, false}, {"--histogram", 0, false}};
constexpr cli_option compare_options[] = {{"--tolerance", 0, true}};
constexpr cli_option netcdf_options_table[] = {{"--time", 0, true},
                                               {"--soil-depths", 0, true},
                                               {"--grib-edition", 0, true},
                                               {"--deflate", 0, true}};
constexpr cli_option png_options[] = {
    {"--hpa", 0, true}, {"--min", 0, true}, {"--max", 0, true}, {"--time", 0, true}};
constexpr cli_option overview_options[] = {{"--time", 0, true}};

struct command {
  std::string_view name;
  const char* const* help;
  std::span<const cli_option> options;
  std::size_t least, most;  // operands
  int (*run)(const command_line&, std::span<const std::string>, std::ostream&, std::ostream&);
};

const command commands[] = {
    {"stats", &stats_help, stats_options, 1, 1, run_stats},
    {"compare", &compare_help, compare_options, 2, 2, run_compare},
    {"netcdf", &netcdf_help, netcdf_options_table, 2, 2, run_netcdf},
    {"png", &png_help, png_options, 3, 4, run_png},
    {"overview", &overview_help, overview_options, 2, 2, run_overview},
};

const command* find_command(std::string_view name) {
  for (const command& c : commands)
    if (name == c.name) return &c;
  return nullptr;
}

int run_command(const command& cmd, std::span<const std::string> args, std::ostream& out,
                std::ostream& err) {
  const command_line c = parse_command_line(args, {cmd.options, cmd.most});
  if (const std::optional<int> answered = answer_help_or_version(c, program, *cmd.help, out, err))
    return *answered;
  if (c.operands.size() < cmd.least) throw usage_error("missing operand");
  return cmd.run(c, args, out, err);
}

// Without a command: --help, --version, or a wrong command line.
int run_program(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  const command_line c = parse_command_line(args, {{}, 0});
  if (const std::optional<int> answered = answer_help_or_version(c, program, main_help, out, err))
    return *answered;
  throw usage_error("missing command");
}

}  // namespace

int inspect_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const bool named = !args.empty() && !args[0].starts_with("-");
  const command* cmd = named ? find_command(args[0]) : nullptr;
  const std::string where =
      cmd != nullptr ? std::string(program) + " " + args[0] : std::string(program);
  int status = exit_error;
  try {
    if (!named)
      status = run_program(args, out, err);
    else if (cmd == nullptr)
      throw usage_error("unknown command '" + args[0] + "'", args[0]);
    else
      status = run_command(*cmd, std::span(args).subspan(1), out, err);
  } catch (const usage_error& e) {
    return report_usage_error(where, e, err);
  } catch (const run_error& e) {
    err << program << ": " << e.what() << '\n';
    return exit_error;
  } catch (const std::bad_alloc&) {
    err << program << ": out of memory\n";
    return exit_error;
  }
  if (!out.flush()) {
    err << program << ": cannot write standard output\n";
    return exit_error;
  }
  return status;
}

}  // namespace c2m::inspect

#include "common/command_line_options.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <new>

#include "common/errors.hpp"
#include "common/version.hpp"

namespace c2m {

const cli_option help_option{"--help", 'h', value_kind::none, "", "show this help and exit", ""};
const cli_option version_option{"--version", 0, value_kind::none, "", "show the version and exit",
                                ""};

namespace {

constexpr std::string_view options_table_name = "--options-table";

// The table's entry for an argument in its long ("--area") or short ("-o") form.
const cli_option* find_option(std::span<const cli_option> options, std::string_view name) {
  for (const cli_option& o : options) {
    if (!o.long_name.empty() && name == o.long_name) return &o;
    if (o.short_name != 0 && name.size() == 2 && name[0] == '-' && name[1] == o.short_name)
      return &o;
  }
  return nullptr;
}

// -h, --help, --version and the hidden --options-table: true when name is one of them.
bool take_builtin(const std::string& name, parsed_command_line& c) {
  if (name == "-h" || name == help_option.long_name)
    c.help = true;
  else if (name == version_option.long_name)
    c.version = true;
  else if (name == options_table_name)
    c.options_table = true;
  else
    return false;
  return true;
}

// One option argument, args[k]; returns the index of the last argument it used.
std::size_t take_option(std::span<const std::string> args, std::size_t k, const cli_syntax& syntax,
                        parsed_command_line& c) {
  const std::string& a = args[k];
  const std::size_t eq = a.starts_with("--") ? a.find('=') : std::string::npos;
  const std::string name = a.substr(0, eq);
  const bool attached = eq != std::string::npos;
  const cli_option* o = find_option(syntax.options, name);
  if (o == nullptr && !take_builtin(name, c)) throw usage_error("unknown option '" + name + "'", a);
  if ((o == nullptr || !o->takes_value()) && attached)
    throw usage_error("option " + name + " takes no value", a);
  if (o == nullptr) return k;
  const std::size_t index = static_cast<std::size_t>(o - syntax.options.data());
  if (!o->takes_value()) {
    c.given.push_back({index, o->name(), ""});
    return k;
  }
  if (attached) {
    c.given.push_back({index, o->name(), a.substr(eq + 1)});
    return k;
  }
  if (k + 1 == args.size()) throw usage_error("option " + name + " needs a value", a);
  c.given.push_back({index, o->name(), args[k + 1]});
  return k + 1;
}

void take_operand(const std::string& a, const cli_syntax& syntax, parsed_command_line& c) {
  if (c.operands.size() == syntax.most_operands)
    throw usage_error("unexpected argument '" + a + "'", a);
  c.operands.push_back(a);
}

// "  -o, --long VALUE" as the help shows an option's names.
std::string names_of(const cli_option& o) {
  std::string names = "  ";
  if (o.short_name != 0) {
    names += '-';
    names += o.short_name;
  } else {
    names += "  ";
  }
  if (!o.long_name.empty()) {
    names += o.short_name != 0 ? ", " : "  ";
    names += o.long_name;
  }
  if (o.takes_value()) {
    names += ' ';
    names += o.value_name;
  }
  return names;
}

void add_option_help(const cli_option& o, std::size_t column, std::string& text) {
  std::string line = names_of(o);
  if (line.size() + 1 > column) {
    text += line + "\n";
    line.clear();
  }
  std::string_view help = o.help;
  for (;;) {
    line.resize(column, ' ');
    const std::size_t end = help.find('\n');
    text += line + std::string(help.substr(0, end)) + "\n";
    if (end == std::string_view::npos) return;
    help.remove_prefix(end + 1);
    line.clear();
  }
}

void print_row(const cli_option& o, std::string_view command, std::ostream& out) {
  std::string help(o.help);
  for (char& ch : help)
    if (ch == '\n') ch = ' ';
  out << command << '\t' << o.long_name << '\t';
  if (o.short_name != 0) out << '-' << o.short_name;
  out << '\t' << value_kind_name(o.kind) << '\t' << o.value_name << '\t' << o.values << '\t' << help
      << '\n';
}

}  // namespace

std::string_view value_kind_name(value_kind k) {
  switch (k) {
    case value_kind::none:
      return "none";
    case value_kind::number:
      return "number";
    case value_kind::count:
      return "count";
    case value_kind::word:
      return "word";
    case value_kind::word_list:
      return "word-list";
    case value_kind::file:
      return "file";
    case value_kind::time:
      return "time";
  }
  return "none";
}

std::string cli_option::name() const {
  if (!long_name.empty()) return std::string(long_name);
  std::string name = "-";
  name += short_name;
  return name;
}

bool parsed_command_line::has(std::string_view name) const {
  for (const given_option& g : given)
    if (g.name == name) return true;
  return false;
}

std::optional<std::string> parsed_command_line::value(std::string_view name) const {
  std::optional<std::string> last;
  for (const given_option& g : given)
    if (g.name == name) last = g.value;
  return last;
}

parsed_command_line parse_command_line(std::span<const std::string> args,
                                       const cli_syntax& syntax) {
  parsed_command_line c;
  bool options_end = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (options_end || a == "-" || !a.starts_with("-")) {
      take_operand(a, syntax, c);
    } else if (a == "--" && syntax.most_operands > 0) {
      options_end = true;
    } else if (a == "--") {
      throw usage_error("unexpected argument '--'", a);
    } else {
      k = take_option(args, k, syntax, c);
    }
  }
  return c;
}

std::optional<double> number_in(std::string_view text) {
  double x = 0;
  const char* end = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), end, x);
  if (text.empty() || ec != std::errc() || p != end || !std::isfinite(x)) return std::nullopt;
  return x;
}

std::optional<long long> whole_number_in(std::string_view text) {
  long long n = 0;
  const char* end = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), end, n);
  if (text.empty() || ec != std::errc() || p != end) return std::nullopt;
  return n;
}

std::string options_help(std::span<const cli_option> options, std::size_t column) {
  std::string text;
  for (const cli_option& o : options) add_option_help(o, column, text);
  add_option_help(help_option, column, text);
  add_option_help(version_option, column, text);
  return text;
}

void print_options_table(std::span<const cli_option> options, std::string_view command,
                         std::ostream& out, bool with_builtins) {
  for (const cli_option& o : options) print_row(o, command, out);
  if (!with_builtins) return;
  print_row(help_option, command, out);
  print_row(version_option, command, out);
}

std::optional<int> answer_help_or_version(const parsed_command_line& c, std::string_view program,
                                          std::string_view help, std::ostream& out,
                                          std::ostream& err, std::span<const cli_option> options) {
  if (c.help)
    out << help;
  else if (c.options_table)
    print_options_table(options, "", out);
  else if (c.version)
    out << program << ' ' << version << '\n';
  else
    return std::nullopt;
  if (!out.flush()) {
    err << program << ": standard output: cannot write\n";
    return exit_io_failure;
  }
  return 0;
}

int report_usage_error(std::string_view program, const usage_error& e, std::ostream& err) {
  err << program << ": " << e.what() << "; see '" << program << " --help'\n";
  return exit_usage;
}

bool flushed(std::ostream& out) {
  const bool ok = static_cast<bool>(out.flush());
  return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 && ok;
}

int report_failure(std::string_view program, std::string_view command, int failure,
                   std::ostream& err) {
  std::fflush(stdout);  // what went to standard output keeps its order ahead of the diagnostic
  try {
    throw;
  } catch (const usage_error& e) {
    if (command.empty()) return report_usage_error(program, e, err);
    return report_usage_error(std::string(program) + " " + std::string(command), e, err);
  } catch (const data_stop& e) {
    err << program << ": conversion stopped, no output written: " << e.what() << '\n';
    return exit_data_stop;
  } catch (const std::bad_alloc&) {
    err << program << ": out of memory\n";
  } catch (const std::runtime_error& e) {
    err << program << ": " << e.what() << '\n';
  } catch (const std::exception& e) {
    err << program << ": internal error: " << e.what() << '\n';
  } catch (...) {
    err << program << ": internal error\n";
  }
  return failure;
}

}  // namespace c2m

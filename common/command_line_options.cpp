#include "common/command_line_options.hpp"

#include "common/errors.hpp"
#include "common/version.hpp"

namespace c2m {

namespace {

// The table's entry for an argument in its long ("--area") or short ("-o") form.
const cli_option* find_option(std::span<const cli_option> options, std::string_view name) {
  for (const cli_option& o : options) {
    if (!o.long_name.empty() && name == o.long_name) return &o;
    if (o.short_name != 0 && name.size() == 2 && name[0] == '-' && name[1] == o.short_name)
      return &o;
  }
  return nullptr;
}

std::string name_of(const cli_option& o) {
  if (!o.long_name.empty()) return std::string(o.long_name);
  return std::string("-") + o.short_name;
}

// One option argument, args[k]; returns the index of the last argument it used.
std::size_t take_option(std::span<const std::string> args, std::size_t k, const cli_syntax& syntax,
                        parsed_command_line& c) {
  const std::string& a = args[k];
  const std::size_t eq = a.starts_with("--") ? a.find('=') : std::string::npos;
  const std::string name = a.substr(0, eq);
  const bool attached = eq != std::string::npos;
  const bool builtin = name == "-h" || name == "--help" || name == "--version";
  if (builtin && attached) throw usage_error("option " + name + " takes no value", a);
  if (builtin) {
    (name == "--version" ? c.version : c.help) = true;
    return k;
  }
  const cli_option* o = find_option(syntax.options, name);
  if (o == nullptr) throw usage_error("unknown option '" + name + "'", a);
  if (!o->takes_value) {
    if (attached) throw usage_error("option " + name + " takes no value", a);
    c.given.emplace_back(name_of(*o), "");
    return k;
  }
  if (attached) {
    c.given.emplace_back(name_of(*o), a.substr(eq + 1));
    return k;
  }
  if (k + 1 == args.size()) throw usage_error("option " + name + " needs a value", a);
  c.given.emplace_back(name_of(*o), args[k + 1]);
  return k + 1;
}

void take_operand(const std::string& a, const cli_syntax& syntax, parsed_command_line& c) {
  if (c.operands.size() == syntax.most_operands)
    throw usage_error("unexpected argument '" + a + "'", a);
  c.operands.push_back(a);
}

}  // namespace

bool parsed_command_line::has(std::string_view name) const {
  for (const auto& [n, v] : given)
    if (n == name) return true;
  return false;
}

std::optional<std::string> parsed_command_line::value(std::string_view name) const {
  std::optional<std::string> last;
  for (const auto& [n, v] : given)
    if (n == name) last = v;
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

std::optional<int> answer_help_or_version(const parsed_command_line& c, std::string_view program,
                                          std::string_view help, std::ostream& out,
                                          std::ostream& err) {
  if (c.help)
    out << help;
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

}  // namespace c2m

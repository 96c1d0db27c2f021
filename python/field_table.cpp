// Writes the Python reader's table of fields (conv2model/_fields.py) from the
// inspector's own description of each field the info file names, so that the reader
// gives a field the name, units and attributes the NetCDF export gives it, and the two
// cannot disagree.
//   usage: field_table OUT.py
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "common/constants.hpp"
#include "common/work_layout.hpp"
#include "companion/common/fields.hpp"

namespace {

// A Python string literal; the texts are plain ASCII without quotes or backslashes.
std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

void write_field(std::ostream& out, std::string_view info_name) {
  const c2m::companion::field_desc d = c2m::companion::describe_field(info_name);
  out << "    " << quoted(d.long_name) << ": Field(" << quoted(c2m::companion::display_name(d))
      << ", " << quoted(d.old_name) << ", " << quoted(d.units) << ", " << quoted(d.cf_units) << ", "
      << d.pa_per_unit << ", " << quoted(d.standard_name) << ", " << d.soil_layer << "),\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: field_table OUT.py\n";
    return 64;
  }
  std::ofstream out(argv[1]);
  out << "# Written by the build from conv2model-inspect's table of fields; do not edit.\n"
         "from collections import namedtuple\n\n"
         "Field = namedtuple(\"Field\", \"name old_name units cf_units pa_per_unit "
         "standard_name soil_layer\")\n\n"
         "# The work file's value at points without data.\n"
      << "MISSING_VALUE = " << c2m::missing_value << ".0\n\n"
      << "# By the name the info file gives a field, blanks folded, without its units.\n"
         "KNOWN = {\n";
  for (const std::string_view n : c2m::layout::field_names_3d) write_field(out, n);
  for (const std::string_view n : c2m::layout::field_names_2d) write_field(out, n);
  out << "}\n";
  out.close();
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}

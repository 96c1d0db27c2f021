// conv2model-inspect: statistics, comparison, NetCDF export and quick-look pictures of
// conv2model work files.
#include <iostream>
#include <string>
#include <vector>

#include "companion/inspect/cli.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return c2m::inspect::inspect_main(args, std::cout, std::cerr);
}

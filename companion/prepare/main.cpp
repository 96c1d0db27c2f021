// conv2model-prepare: the input field file and the grid configuration of conv2model
// from a GRIB or NetCDF analysis.
#include <iostream>
#include <string>
#include <vector>

#include "companion/prepare/prepare.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return c2m::prepare::prepare_main(args, std::cout, std::cerr);
}

// sample_gen: writes a deterministic sample analysis for conv2model.
//   sample_gen DIR IM JM LM [--global] [--missing-rh-top N] [--missing-ht-level L]
//              [--cut-short] [--hour H] [--name FILE]
// writes DIR/FILE (default sample.bin), DIR/InputModelInf.txt and DIR/stdin.txt.
// --missing-ht-level L makes a case that stops for data (height missing at level L, 1 =
// bottom); --cut-short one that fails on input (the file ends inside its second record);
// --hour H a later time of a series (the waves move east).
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "common/grid_config_file.hpp"
#include "tools/record_writer.hpp"
#include "tools/sample_analysis.hpp"

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(
        stderr,
        "usage: sample_gen DIR IM JM LM [--global] [--missing-rh-top N]\n"
        "                  [--missing-ht-level L] [--cut-short] [--hour H] [--name FILE]\n");
    return 2;
  }
  const std::string dir = argv[1];
  c2m::sample::sample_options options;
  std::string name = "sample.bin";
  bool cut_short = false;
  for (int k = 5; k < argc; ++k) {
    const std::string arg = argv[k];
    if (arg == "--global") {
      options.global = true;
    } else if (arg == "--missing-rh-top" && k + 1 < argc) {
      options.missing_rh_top = std::atoi(argv[++k]);
    } else if (arg == "--missing-ht-level" && k + 1 < argc) {
      options.missing_ht_level = std::atoi(argv[++k]);
    } else if (arg == "--hour" && k + 1 < argc) {
      options.hour = std::atof(argv[++k]);
    } else if (arg == "--cut-short") {
      cut_short = true;
    } else if (arg == "--name" && k + 1 < argc) {
      name = argv[++k];
    } else {
      std::fprintf(stderr, "sample_gen: unknown argument %s\n", arg.c_str());
      return 2;
    }
  }
  try {
    const auto a = c2m::sample::make_sample(std::atoi(argv[2]), std::atoi(argv[3]),
                                            std::atoi(argv[4]), options);
    c2m::sample::write_input_file(dir + "/" + name, a, cut_short);
    c2m::sample::write_file(dir + "/" + std::string(c2m::grid_config_file::name),
                            c2m::sample::grid_config_text(a, options.title));
    c2m::sample::write_file(dir + "/stdin.txt", name + "\nsample analysis\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sample_gen: %s\n", e.what());
    return 1;
  }
  return 0;
}

// Replays saved inputs through a fuzz harness without libFuzzer:
//   TARGET_replay FILE_OR_DIR...
// Each file is one input; a directory stands for the files in it, in name order. A
// crash file from a fuzzing run reruns the same way, in any build.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.hpp"

namespace {

std::vector<std::filesystem::path> inputs(const char* arg) {
  // Absolute, since a harness may change the working directory.
  const std::filesystem::path p = std::filesystem::absolute(arg);
  if (!std::filesystem::is_directory(p)) return {p};
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(p))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  for (int k = 1; k < argc; ++k) {
    for (const auto& file : inputs(argv[k])) {
      std::ifstream f(file, std::ios::binary);
      if (!f) {
        std::fprintf(stderr, "replay: cannot open %s\n", file.c_str());
        return 1;
      }
      const std::vector<char> bytes{std::istreambuf_iterator<char>(f), {}};
      std::fprintf(stderr, "replay: %s\n", file.c_str());
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++count;
    }
  }
  std::fprintf(stderr, "replay: %d inputs, no failure\n", count);
  return count > 0 ? 0 : 1;
}

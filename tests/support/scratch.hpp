// Test helpers: a scratch directory that removes itself, file helpers, and a run of
// the real conv2model binary inside such a directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/sample_analysis.hpp"

namespace c2m::test {

class scratch_dir {
 public:
  scratch_dir();
  ~scratch_dir();
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
void write_text(const std::string& path, const std::string& text);

struct run_result {
  int status = -1;  // exit status, or -1 when a signal ended the process
  int signal = 0;   // the signal that ended it, else 0
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs conv2model in dir with stdin_text on standard input. file_size_limit > 0 sets
// RLIMIT_FSIZE in the child (with SIGXFSZ ignored, so a write past it fails). A
// stdout_path sends the progress log there instead of capturing it in out. With
// without_huge_pages the child runs with transparent huge pages switched off, as on a
// kernel set to "never" (status 126 if that cannot be done).
run_result run_conv2model(const std::string& dir, const std::string& stdin_text,
                          std::int64_t file_size_limit = 0, const char* stdout_path = nullptr,
                          bool without_huge_pages = false);

// Writes a sample case (input file "an.bin", InputModelInf.txt) into dir.
void write_case(const std::string& dir, const sample::analysis& a,
                const std::string& input_name = "an.bin");

// The eight framed records of a sample's input field file, in file order.
std::vector<std::string> input_records(const sample::analysis& a);

// 64-bit FNV-1a hash of bytes, to compare file contents before and after a run.
std::uint64_t content_hash(const std::string& bytes);

// The saturation table of reference/esat.bin (entry 15000 first), read independently of
// the converter's own table; empty when the file is missing or not 30001 floats long.
std::vector<float> reference_esat();

// Floats of a work-file record (1-based record number, im * jm points each).
std::vector<float> work_record(const std::string& bytes, std::size_t points, int record);

}  // namespace c2m::test

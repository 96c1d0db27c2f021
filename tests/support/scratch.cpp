#include "tests/support/scratch.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/grid_config_file.hpp"
#include "tools/record_writer.hpp"

namespace c2m::test {

scratch_dir::scratch_dir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "c2m-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

scratch_dir::~scratch_dir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool file_exists(const std::string& path) {
  return std::filesystem::exists(path);
}

void write_text(const std::string& path, const std::string& text) {
  sample::write_file(path, text);
}

run_result run_conv2model(const std::string& dir, const std::string& stdin_text,
                          std::int64_t file_size_limit, const char* stdout_path,
                          bool without_huge_pages) {
  const std::string in_path = dir + "/.stdin", out_path = dir + "/.stdout",
                    err_path = dir + "/.stderr";
  write_text(in_path, stdin_text);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(127);
    const int in = ::open(in_path.c_str(), O_RDONLY);
    const int out =
        ::open(stdout_path ? stdout_path : out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (file_size_limit > 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      rlimit lim{static_cast<rlim_t>(file_size_limit), static_cast<rlim_t>(file_size_limit)};
      ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    // Inherited across exec: the converter gets neither huge-page grids nor a mapping of
    // the page cache's large folios.
    if (without_huge_pages && (::prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0) != 0 ||
                               ::prctl(PR_GET_THP_DISABLE, 0, 0, 0, 0) != 1))
      ::_exit(126);
    ::execl(CONV2MODEL_BIN, "conv2model", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  run_result r;
  if (WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) r.signal = WTERMSIG(wstatus);
  r.out = read_file(out_path);
  r.err = read_file(err_path);
  std::remove(in_path.c_str());
  std::remove(out_path.c_str());
  std::remove(err_path.c_str());
  return r;
}

void write_case(const std::string& dir, const sample::analysis& a, const std::string& input_name) {
  sample::write_input_file(dir + "/" + input_name, a);
  write_text(dir + "/" + std::string(grid_config_file::name),
             sample::grid_config_text(a, "test-case"));
}

std::vector<std::string> input_records(const sample::analysis& a) {
  std::vector<std::string> r{sample::frame_int(a.lm)};
  for (const auto* v : {&a.uw, &a.vw, &a.ht, &a.rh, &a.tp, &a.pr, &a.slp})
    r.push_back(sample::frame(*v));
  return r;
}

std::uint64_t content_hash(const std::string& bytes) {
  std::uint64_t h = 14695981039346656037u;
  for (const unsigned char c : bytes) h = (h ^ c) * 1099511628211u;
  return h;
}

std::vector<float> work_record(const std::string& bytes, std::size_t points, int record) {
  std::vector<float> v(points);
  const std::size_t offset = static_cast<std::size_t>(record - 1) * points * sizeof(float);
  if (offset + points * sizeof(float) > bytes.size())
    throw std::runtime_error("record outside file");
  std::memcpy(v.data(), bytes.data() + offset, points * sizeof(float));
  return v;
}

std::vector<float> reference_esat() {
  const std::string bytes = read_file(REFERENCE_DIR "/esat.bin");
  if (bytes.size() != 4 * 30001) return {};
  std::vector<float> table(30001);
  for (std::size_t k = 0; k < table.size(); ++k) {
    std::uint32_t bits = 0;
    for (int b = 3; b >= 0; --b) bits = bits << 8 | static_cast<unsigned char>(bytes[4 * k + b]);
    table[k] = std::bit_cast<float>(bits);
  }
  return table;
}

}  // namespace c2m::test

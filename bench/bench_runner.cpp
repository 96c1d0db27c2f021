// bench_runner: times conv2model against the I/O floor on prepared cases.
//   bench_runner RUNS CONV2MODEL IO_FLOOR [--compare OTHER_CONV2MODEL] NAME=DIR [NAME=DIR ...]
// Each DIR holds a case as sample_gen writes it (sample.bin, InputModelInf.txt,
// stdin.txt). The floor is io_floor in each of its modes (plain, huge-page and mapped
// input); the fastest of them in this run, by median, is the floor the converter is
// held to. Per case: one warm-up run of each program (it also warms the page cache),
// then RUNS rounds in which the converter and the floors take turns, each a child
// process timed by the wall clock, with its page faults and peak resident memory from
// wait4. Then three runs with CONV2MODEL_TIMING=1 give the converter's own step times
// (the medians are printed); their progress log must equal the untimed one byte for byte.
// io_floor's "least" mode takes its turns too: the least work any conversion must add to
// the floor, done record by record while the data is in the cache. It is no floor and
// no target; its ratio to the floor shows how much of the converter's is unavoidable.
// --compare adds another build of the converter (an earlier version, say) to the turns:
// it is timed beside the others and held to no target.
// Prints the tables in Markdown and exits 1 when a target is missed.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/child_run.hpp"
#include "common/errors.hpp"
#include "common/field_file.hpp"
#include "common/grid_config_file.hpp"
#include "common/work_layout.hpp"
#include "driver/grid_config.hpp"

namespace {

using namespace c2m::bench;

constexpr double time_target = 1.5;        // converter wall time / fastest floor's
constexpr double fault_target = 2.0;       // converter page faults / fastest floor's
constexpr double memory_target = 1.10;     // peak resident memory / input payload ...
constexpr double memory_allowance = 16.0;  // ... plus this many MiB
constexpr double startup_target_ms = 5.0;  // es_ini
constexpr const char* timing_prefix = "conv2model timing: ";
constexpr const char* floor_modes[] = {"plain", "huge", "mapped"};

const char* floor_notes(const std::string& mode) {
  if (mode == "plain") return "(reads into fresh 4 KiB pages)";
  if (mode == "huge") return "(reads into 2 MiB huge pages)";
  return "(input mapped, written from the mapping)";
}

// Sum of the record lengths of an input field file: the bytes its data takes in memory.
std::uint64_t payload_bytes(const std::string& path) {
  const std::string bytes = slurp(path);
  std::uint64_t sum = 0;
  for (std::size_t at = 0; at < bytes.size();) {
    const auto r = c2m::field_file::record_at(bytes, at);
    if (!r) fail(path + ": not a sequence of framed records");
    sum += r->size();
    at += r->size() + 2 * c2m::field_file::marker_bytes;
  }
  return sum;
}

struct case_result {
  std::string name;
  std::string grid;
  double payload_mib = 0;
  std::vector<program_runs> programs;                 // conv2model first, then the floors
  std::size_t fastest = 1;                            // the floor with the lowest median time
  std::size_t least = 0;                              // io_floor least
  std::vector<std::pair<std::string, double>> steps;  // median ms, in the order printed
  bool time_ok = false, faults_ok = false, memory_ok = false, startup_ok = false;

  const program_runs& conv() const { return programs.front(); }
  const program_runs& floor() const { return programs[fastest]; }
  double least_ratio() const { return programs[least].median_s() / floor().median_s(); }
};

struct grid_dims {
  std::size_t im = 0, jm = 0, lm = 0;
};

// The grid of a case, from its configuration as the converter reads it.
grid_dims case_grid(const std::string& dir) {
  c2m::run_state run;
  try {
    c2m::list_reader cfg =
        c2m::open_grid_config(dir + "/" + std::string(c2m::grid_config_file::name));
    c2m::read_grid_description(cfg, run);
  } catch (const c2m::run_error& e) {
    fail(e.what());
  }
  return {static_cast<std::size_t>(run.im), static_cast<std::size_t>(run.jm),
          static_cast<std::size_t>(run.lm)};
}

std::string grid_text(const grid_dims& g) {
  return std::to_string(g.im) + " x " + std::to_string(g.jm) + " x " + std::to_string(g.lm);
}

// The least work must be a conversion's own: every record it writes equals the
// converter's, but for the humidity of the levels that the patch filled (it patches
// nothing). Run after the turns, when the converter's work file is in place; the two
// files are compared a record at a time.
void check_least_output(const std::string& name, const std::string& dir,
                        const std::string& floor_bin, const std::string& log) {
  run_child(dir, {floor_bin, "least", "sample.bin", "floor.out"}, "/dev/null", "/dev/null",
            dir + "/bench.stderr", false);
  const grid_dims g = case_grid(dir);
  const std::size_t record = g.im * g.jm * sizeof(float);
  const auto records = static_cast<std::size_t>(c2m::layout::record_count(std::int64_t(g.lm)));
  // The humidity's records, from 0: the only ones the least work may write otherwise.
  const auto q_first =
      static_cast<std::size_t>(c2m::layout::record_3d(4, std::int64_t(g.lm), 1) - 1);
  std::ifstream work(dir + "/sample.bin" + std::string(c2m::layout::work_suffix),
                     std::ios::binary | std::ios::ate);
  std::ifstream least(dir + "/floor.out", std::ios::binary | std::ios::ate);
  if (!work || !least) fail(name + ": cannot open the work file or the least work's output");
  const auto size = static_cast<std::size_t>(work.tellg());
  if (record == 0 || size != static_cast<std::size_t>(least.tellg()) || size != record * records)
    fail(name + ": the least work's output is not the size of the work file");
  work.seekg(0);
  least.seekg(0);
  std::size_t patched = 0;  // levels the patch filled: one "Copying" line each
  for (std::size_t at = log.find(" Copying"); at != std::string::npos;
       at = log.find(" Copying", at + 1))
    ++patched;
  std::string a(record, '\0'), b(record, '\0');
  std::size_t humidity_differs = 0;
  for (std::size_t r = 0; r < records; ++r) {
    if (!work.read(a.data(), static_cast<std::streamsize>(record)) ||
        !least.read(b.data(), static_cast<std::streamsize>(record)))
      fail(name + ": cannot read record " + std::to_string(r + 1));
    if (a == b) continue;
    if (r < q_first || r >= q_first + g.lm)
      fail(name + ": the least work wrote record " + std::to_string(r + 1) +
           " unlike the converter");
    ++humidity_differs;
  }
  if (humidity_differs > patched)
    fail(name + ": the least work's humidity differs on more levels than the patch filled");
}

case_result bench_case(const std::string& name, const std::string& dir, int runs,
                       const std::string& conv, const std::string& floor_bin,
                       const std::string& compared) {
  case_result c;
  c.name = name;
  c.grid = grid_text(case_grid(dir));
  c.payload_mib = static_cast<double>(payload_bytes(dir + "/sample.bin")) / mib;
  c.programs.push_back({"conv2model", {conv}, false, {}, {}, 0});
  for (const char* mode : floor_modes)
    c.programs.push_back({std::string("floor, ") + mode + " " + floor_notes(mode),
                          {floor_bin, mode, "sample.bin", "floor.out"},
                          true,
                          {},
                          {},
                          0});
  c.least = c.programs.size();
  c.programs.push_back({"least work of a conversion (record by record, in the cache)",
                        {floor_bin, "least", "sample.bin", "floor.out"},
                        false,
                        {},
                        {},
                        0});
  if (!compared.empty())
    c.programs.push_back({"compared: " + compared, {compared}, false, {}, {}, 0});
  const std::string in = dir + "/stdin.txt";
  const std::string log = dir + "/bench.stdout";
  const std::string err = dir + "/bench.stderr";

  // A warm-up run of each program, which also warms the page cache; then the programs
  // take turns, so that a change in the machine's load falls on all of them alike.
  for (int r = -1; r < runs; ++r)
    for (program_runs& p : c.programs) {
      const bool is_conv = p.argv.size() == 1;
      const run_result result = run_child(dir, p.argv, is_conv ? in : "/dev/null",
                                          is_conv ? log : "/dev/null", err, false);
      if (r >= 0) p.add(result);
    }
  for (std::size_t k = 2; k < c.programs.size(); ++k)
    if (c.programs[k].floor && c.programs[k].median_s() < c.programs[c.fastest].median_s())
      c.fastest = k;

  // Step times as the converter measures them; the log must not change.
  const std::string plain_log = slurp(log);
  check_least_output(name, dir, floor_bin, plain_log);
  std::map<std::string, std::vector<double>> laps;
  std::vector<std::string> order;
  for (int r = 0; r < 3; ++r) {
    const std::string timed_log = dir + "/bench-timed.stdout";
    run_child(dir, {conv}, in, timed_log, err, true);
    if (slurp(timed_log) != plain_log)
      fail(name + ": the progress log differs when CONV2MODEL_TIMING=1 is set");
    std::istringstream lines(slurp(err));
    std::string line;
    while (std::getline(lines, line)) {
      if (line.rfind(timing_prefix, 0) != 0) continue;
      std::istringstream fields(line.substr(std::strlen(timing_prefix)));
      std::string step;
      double ms = 0;
      if (!(fields >> step >> ms)) continue;
      if (laps.find(step) == laps.end()) order.push_back(step);
      laps[step].push_back(ms);
    }
  }
  if (order.empty())
    std::fprintf(stderr, "bench_runner: %s: no step times on standard error\n", name.c_str());
  for (const std::string& step : order) c.steps.emplace_back(step, median(laps[step]));

  c.time_ok = c.conv().median_s() <= time_target * c.floor().median_s();
  c.faults_ok = c.conv().median_faults() <= fault_target * c.floor().median_faults();
  c.memory_ok = c.conv().peak_mib <= memory_target * c.payload_mib + memory_allowance;
  c.startup_ok = false;
  for (const auto& [step, ms] : c.steps)
    if (step == "es_ini") c.startup_ok = ms < startup_target_ms;
  return c;
}

const char* verdict(bool ok) {
  return ok ? "ok" : "MISSED";
}

void print_tables(const std::vector<case_result>& cases, int runs) {
  std::printf(
      "Wall time of %d runs per program after a warm-up, the programs taking turns, warm "
      "page cache; page faults (ru_minflt, median) and peak RSS (largest) from wait4.\n\n",
      runs);
  std::printf("| case | program | median | min | max | page faults | peak RSS |\n");
  std::printf("|---|---|---:|---:|---:|---:|---:|\n");
  for (const case_result& c : cases)
    for (std::size_t k = 0; k < c.programs.size(); ++k) {
      const program_runs& p = c.programs[k];
      const auto [lo, hi] = std::minmax_element(p.seconds.begin(), p.seconds.end());
      std::printf("| %s | %s%s | %.0f ms | %.0f ms | %.0f ms | %.0f | %.1f MiB |\n", c.name.c_str(),
                  p.name.c_str(), k == c.fastest ? " (fastest floor)" : "", p.median_s() * 1e3,
                  *lo * 1e3, *hi * 1e3, p.median_faults(), p.peak_mib);
    }

  std::printf("\nTargets against the fastest floor of the same run:\n\n");
  std::printf(
      "| case | grid | input payload | time ratio (<= %.2f) | fault ratio (<= %.1f) | "
      "peak RSS / payload | RSS limit (%.2f x payload + %.0f MiB) | least work's time ratio "
      "|\n",
      time_target, fault_target, memory_target, memory_allowance);
  std::printf("|---|---|---:|---:|---:|---:|---:|---:|\n");
  for (const case_result& c : cases)
    std::printf("| %s | %s | %.1f MiB | %.3f %s | %.2f %s | %.3f | %.1f MiB %s | %.3f |\n",
                c.name.c_str(), c.grid.c_str(), c.payload_mib,
                c.conv().median_s() / c.floor().median_s(), verdict(c.time_ok),
                c.conv().median_faults() / c.floor().median_faults(), verdict(c.faults_ok),
                c.conv().peak_mib / c.payload_mib, memory_target * c.payload_mib + memory_allowance,
                verdict(c.memory_ok), c.least_ratio());

  std::printf("\nSteps as conv2model times them (CONV2MODEL_TIMING=1, median of 3, ms):\n\n");
  std::printf("| step |");
  for (const case_result& c : cases) std::printf(" %s |", c.name.c_str());
  std::printf("\n|---|");
  for (std::size_t k = 0; k < cases.size(); ++k) std::printf("---:|");
  std::printf("\n");
  for (std::size_t s = 0; s < cases.front().steps.size(); ++s) {
    std::printf("| %s |", cases.front().steps[s].first.c_str());
    for (const case_result& c : cases)
      std::printf(" %.2f |", s < c.steps.size() ? c.steps[s].second : 0.0);
    std::printf("\n");
  }
  std::printf("\nStart-up (es_ini) under %.0f ms:", startup_target_ms);
  for (const case_result& c : cases) std::printf(" %s %s;", c.name.c_str(), verdict(c.startup_ok));
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr,
                 "usage: bench_runner RUNS CONV2MODEL IO_FLOOR [--compare OTHER_CONV2MODEL] "
                 "NAME=DIR [NAME=DIR ...]\n");
    return 2;
  }
  const int runs = parse_runs(argv[1]);
  std::vector<case_result> cases;
  int first_case = 4;
  std::string compared;
  if (std::string(argv[4]) == "--compare" && argc > 6) {
    compared = absolute(argv[5]);
    first_case = 6;
  }
  for (int k = first_case; k < argc; ++k) {
    const std::string case_arg = argv[k];
    const std::size_t eq = case_arg.find('=');
    if (eq == std::string::npos) fail("a case is NAME=DIR, not " + case_arg);
    std::fprintf(stderr, "bench_runner: %s ...\n", case_arg.substr(0, eq).c_str());
    cases.push_back(bench_case(case_arg.substr(0, eq), absolute(case_arg.substr(eq + 1)), runs,
                               absolute(argv[2]), absolute(argv[3]), compared));
  }
  print_tables(cases, runs);
  bool all_ok = true;
  for (const case_result& c : cases)
    all_ok = all_ok && c.time_ok && c.faults_ok && c.memory_ok && c.startup_ok;
  return all_ok ? 0 : 1;
}

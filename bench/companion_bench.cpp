// companion_bench: times the companions beside the tools users compare them with.
//   companion_bench RUNS INSPECT CASE_DIR [PREPARE CONV2MODEL GRIB2 PREPARE_DIR [FLOOR...]]
// The export: CASE_DIR holds a work file, sample.bin.ORUwrk, and its info file. The
// export without compression, once, is nccopy's input; then, after a warm-up round, RUNS
// rounds in which conv2model-inspect netcdf (deflate 1 with shuffle, the default) and
// nccopy -d1 -s, then both without compression, take turns, so that a change in the
// machine's load falls on all alike. Both write the same variables with the same chunks
// (nccopy keeps its input's), so the ratio of the medians compares like with like.
// Prepare, when given: conv2model-prepare on GRIB2 in PREPARE_DIR, then conv2model on
// what it wrote; their sum per round is the end-to-end time, GRIB 2 in, work file out.
// FLOOR, when given, is prepare_floor and the numbers of the fields prepare reads (GRIB2
// and an output path go before them): ecCodes' own decode of those fields and the write
// of their bytes, timed in the same rounds beside prepare -j 1.
// Prints the tables in Markdown; exits 1 when the export misses its target.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/child_run.hpp"

namespace {

using namespace c2m::bench;

constexpr double export_target = 1.2;   // export wall time / nccopy -d1 -s's
constexpr double prepare_target = 1.3;  // prepare -j 1 / the floor (shown, not judged here)

// A turn starts with its program's output gone and the turn before flushed to disk
// (outside the time). Each program writes hundreds of MiB: whoever came next would
// otherwise wait for the writeback of those, and on ext4 an output renamed over an
// older file (as conv2model-inspect replaces it) is flushed at the rename.
void clear_for_turn(const std::string& dir, const std::string& output) {
  if (!output.empty() && ::unlink((dir + "/" + output).c_str()) != 0 && errno != ENOENT)
    fail(dir + "/" + output + ": cannot remove: " + std::strerror(errno));
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || ::syncfs(fd) != 0) fail(dir + ": cannot flush: " + std::strerror(errno));
  ::close(fd);
}

// A program of the turns, with what it is given on standard input and the file it writes.
struct turn {
  std::string stdin_path = "/dev/null";
  std::string output;
};

// Every program takes its turn in each round; round -1 is the warm-up.
void take_turns(std::vector<program_runs>& programs, const std::string& dir, int runs,
                const std::vector<turn>& turns) {
  for (int r = -1; r < runs; ++r)
    for (std::size_t k = 0; k < programs.size(); ++k) {
      clear_for_turn(dir, turns[k].output);
      const run_result result = run_child(dir, programs[k].argv, turns[k].stdin_path, "/dev/null",
                                          dir + "/bench.stderr", false);
      if (r >= 0) programs[k].add(result);
    }
}

void print_rows(const std::string& what, const std::vector<program_runs>& programs) {
  for (const program_runs& p : programs) {
    const auto [lo, hi] = std::minmax_element(p.seconds.begin(), p.seconds.end());
    std::printf("| %s | %s | %.2f s | %.2f s | %.2f s | %.1f MiB |\n", what.c_str(), p.name.c_str(),
                p.median_s(), *lo, *hi, p.peak_mib);
  }
}

// Ratio of medians, with the range of the per-round ratios.
void print_ratio(const char* what, const program_runs& a, const program_runs& b, double target) {
  std::vector<double> per_round;
  for (std::size_t r = 0; r < a.seconds.size(); ++r)
    per_round.push_back(a.seconds[r] / b.seconds[r]);
  const auto [lo, hi] = std::minmax_element(per_round.begin(), per_round.end());
  std::printf("| %s | %.2f | %.2f | %.2f |", what, a.median_s() / b.median_s(), *lo, *hi);
  if (target > 0)
    std::printf(" %s (<= %.1f) |\n", a.median_s() <= target * b.median_s() ? "ok" : "MISSED",
                target);
  else
    std::printf(" |\n");
}

bool bench_export(const std::string& inspect, const std::string& dir, int runs) {
  const std::string work = "sample.bin.ORUwrk";
  run_child(dir, {inspect, "netcdf", "--deflate", "0", work, "plain.nc"}, "/dev/null", "/dev/null",
            dir + "/bench.stderr", false);
  std::vector<program_runs> p = {
      {"conv2model-inspect netcdf", {inspect, "netcdf", work, "export.nc"}, false, {}, {}, 0},
      {"nccopy -d1 -s", {"nccopy", "-d1", "-s", "plain.nc", "nccopy.nc"}, false, {}, {}, 0},
      {"conv2model-inspect netcdf --deflate 0",
       {inspect, "netcdf", "--deflate", "0", work, "export0.nc"},
       false,
       {},
       {},
       0},
      {"nccopy -d0", {"nccopy", "-d0", "plain.nc", "nccopy0.nc"}, false, {}, {}, 0},
  };
  take_turns(p, dir, runs,
             {{"/dev/null", "export.nc"},
              {"/dev/null", "nccopy.nc"},
              {"/dev/null", "export0.nc"},
              {"/dev/null", "nccopy0.nc"}});
  std::printf(
      "| export | program | median | min | max | peak RSS |\n|---|---|---:|---:|---:|---:|\n");
  print_rows("work file to NetCDF-4", p);
  std::printf("\n| ratio | of medians | least | most | target |\n|---|---:|---:|---:|---|\n");
  print_ratio("export / nccopy, deflate 1 with shuffle", p[0], p[1], export_target);
  print_ratio("export / nccopy, no compression", p[2], p[3], 0);
  std::printf("\n");
  return p[0].median_s() <= export_target * p[1].median_s();
}

// The case interpolated to a finer grid leaves soil points without data along the coasts;
// prepare accepts them with --allow-holes and the conversion fills them.
void bench_prepare(const std::vector<std::string>& args, int runs) {
  const std::string& prepare = args[0];
  const std::string& conv = args[1];
  const std::string& grib = args[2];
  const std::string& dir = args[3];
  {
    std::ofstream in(dir + "/convert.stdin");
    in << "analysis.bin\nbench\n";
    if (!in) fail(dir + "/convert.stdin: cannot write");
  }
  std::vector<program_runs> p = {
      {"conv2model-prepare",
       {prepare, "--allow-holes", "-o", "analysis.bin", grib},
       false,
       {},
       {},
       0},
      {"conv2model on the prepared file", {conv}, false, {}, {}, 0},
  };
  std::vector<turn> turns = {{"/dev/null", "analysis.bin"},
                             {dir + "/convert.stdin", "analysis.bin.ORUwrk"}};
  if (args.size() > 4) {
    program_runs floor{"floor: ecCodes' decode and the write, one thread",
                       {args[4], grib, "floor.out"},
                       true,
                       {},
                       {},
                       0};
    floor.argv.insert(floor.argv.end(), args.begin() + 5, args.end());
    p.push_back(floor);
    turns.push_back({"/dev/null", "floor.out"});
    p.push_back({"conv2model-prepare -j 1",
                 {prepare, "-j", "1", "--allow-holes", "-o", "one.bin", grib},
                 false,
                 {},
                 {},
                 0});
    turns.push_back({"/dev/null", "one.bin"});
  }
  take_turns(p, dir, runs, turns);
  program_runs end_to_end{"end to end: GRIB 2 in, work file out", {}, false, {}, {}, 0};
  for (std::size_t r = 0; r < p[0].seconds.size(); ++r)
    end_to_end.seconds.push_back(p[0].seconds[r] + p[1].seconds[r]);
  end_to_end.peak_mib = std::max(p[0].peak_mib, p[1].peak_mib);
  p.push_back(end_to_end);
  std::printf(
      "| prepare | program | median | min | max | peak RSS |\n|---|---|---:|---:|---:|---:|\n");
  print_rows(grib.substr(grib.rfind('/') + 1), p);
  if (args.size() > 4) {
    std::printf("\n| ratio | of medians | least | most | target |\n|---|---:|---:|---:|---|\n");
    print_ratio("prepare -j 1 / floor", p[3], p[2], prepare_target);
    print_ratio("prepare / floor", p[0], p[2], 0);
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || (argc > 4 && argc < 8)) {
    std::fprintf(stderr,
                 "usage: companion_bench RUNS INSPECT CASE_DIR [PREPARE CONV2MODEL GRIB2 "
                 "PREPARE_DIR [FLOOR...]]\n");
    return 2;
  }
  const int runs = parse_runs(argv[1]);
  std::printf(
      "Wall time of %d runs per program after a warm-up, the programs taking turns, "
      "warm page cache; peak RSS (largest) from wait4.\n\n",
      runs);
  const bool export_ok = bench_export(absolute(argv[2]), absolute(argv[3]), runs);
  if (argc > 4) {
    std::vector<std::string> args = {absolute(argv[4]), absolute(argv[5]), absolute(argv[6]),
                                     absolute(argv[7])};
    args.insert(args.end(), argv + 8, argv + argc);
    bench_prepare(args, runs);
  }
  return export_ok ? 0 : 1;
}

// companion_bench: times the companions beside the tools users compare them with.
//   companion_bench RUNS INSPECT CASE_DIR
//                   [PREPARE CONV2MODEL FLOOR PREPARE_DIR GRIB2... -- FIELD...]
// The export: CASE_DIR holds a work file, sample.bin.ORUwrk, and its info file. The
// export without compression, once, is nccopy's input; then, after a warm-up round, RUNS
// rounds in which conv2model-inspect netcdf (deflate 1 with shuffle, the default) and
// nccopy -d1 -s, then both without compression, take turns, so that a change in the
// machine's load falls on all alike. Both write the same variables with the same chunks
// (nccopy keeps its input's), so the ratio of the medians compares like with like.
// Prepare, when given, in PREPARE_DIR: each GRIB2 file (the same fields in different
// packings) prepared with one decoding process and with two, beside its floor, FLOOR
// (prepare_floor: ecCodes' own decode of the fields numbered FIELD, one thread, and the
// write of their bytes); the first file also end to end, conv2model-prepare with its
// default then conv2model on what it wrote, their sum per round. The outputs of one and
// two processes must be the same bytes.
// Prints the tables in Markdown; exits 1 when a target is missed.
#include <fcntl.h>
#include <sys/stat.h>
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
#include "common/constants.hpp"

namespace {

using namespace c2m::bench;

constexpr double export_target = 1.2;   // export wall time / nccopy -d1 -s's
constexpr double prepare_target = 1.3;  // prepare -j 1 / the floor
constexpr double speedup_target = 1.6;  // prepare -j 1 / -j 2, at least

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
    if (p.seconds.empty()) continue;
    const auto [lo, hi] = std::minmax_element(p.seconds.begin(), p.seconds.end());
    std::printf("| %s | %s | %.2f s | %.2f s | %.2f s | %.1f MiB |\n", what.c_str(), p.name.c_str(),
                p.median_s(), *lo, *hi, p.peak_mib);
  }
}

// Ratio of medians, with the range of the per-round ratios; a target of 0 is none. A
// ceiling is met at or below it, a floor (a speed-up) at or above.
bool print_ratio(const char* what, const program_runs& a, const program_runs& b, double target,
                 bool ceiling = true) {
  std::vector<double> per_round;
  for (std::size_t r = 0; r < a.seconds.size(); ++r)
    per_round.push_back(a.seconds[r] / b.seconds[r]);
  const auto [lo, hi] = std::minmax_element(per_round.begin(), per_round.end());
  const double ratio = a.median_s() / b.median_s();
  std::printf("| %s | %.2f | %.2f | %.2f |", what, ratio, *lo, *hi);
  if (target <= 0) {
    std::printf(" |\n");
    return true;
  }
  const bool met = ceiling ? ratio <= target : ratio >= target;
  std::printf(" %s (%s %.1f) |\n", met ? "ok" : "MISSED", ceiling ? "<=" : ">=", target);
  return met;
}

bool print_speedup(const char* what, const program_runs& a, const program_runs& b, double target) {
  return print_ratio(what, a, b, target, false);
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

// What the prepare part is given: the programs, the directory it works in, the GRIB 2
// files (the first also converted end to end) and the fields the floor decodes.
struct prepare_args {
  std::string prepare, conv, floor, dir;
  std::vector<std::string> gribs, fields;
};

program_runs program(const std::string& name, const std::vector<std::string>& argv) {
  program_runs p;
  p.name = name;
  p.argv = argv;
  return p;
}

std::string stem(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);
  return name.substr(0, name.find('.'));
}

double file_mib(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) fail(path + ": cannot examine: " + std::strerror(errno));
  return double(st.st_size) / mib;
}

// Whether two outputs hold the same bytes.
bool same_bytes(const std::string& a, const std::string& b) {
  return slurp(a) == slurp(b);
}

// The case interpolated to a finer grid leaves soil points without data along the coasts;
// prepare accepts them with --allow-holes and the conversion fills them. Each file is
// prepared by the floor, by prepare with one decoding process and with two, and the first
// also end to end: prepare with the default (every core) and conv2model on its output.
bool bench_prepare(const prepare_args& a, int runs) {
  constexpr std::size_t per_file = 4;  // the floor, with whole records, -j 1, -j 2
  {
    std::ofstream in(a.dir + "/convert.stdin");
    in << "analysis.bin\nbench\n";
    if (!in) fail(a.dir + "/convert.stdin: cannot write");
  }
  std::vector<program_runs> p = {
      program("conv2model-prepare", {a.prepare, "--allow-holes", "-o", "analysis.bin", a.gribs[0]}),
      program("conv2model on the prepared file", {a.conv})};
  std::vector<turn> turns = {{"/dev/null", "analysis.bin"},
                             {a.dir + "/convert.stdin", "analysis.bin.ORUwrk"}};
  // The input field file holds five upper-air records of lm fields and one of the twelve
  // surface fields.
  const std::size_t lm = a.fields.size() > c2m::nsfcfld ? (a.fields.size() - c2m::nsfcfld) / 5 : 1;
  for (const std::string& grib : a.gribs) {
    const std::string s = stem(grib);
    program_runs floor = program("floor: ecCodes' decode and the write, one thread",
                                 {a.floor, grib, s + "-floor.out"});
    floor.argv.insert(floor.argv.end(), a.fields.begin(), a.fields.end());
    p.push_back(floor);
    turns.push_back({"/dev/null", s + "-floor.out"});
    program_runs records =
        program("the same, written a record (" + std::to_string(lm) + " fields) at a time",
                {a.floor, grib, s + "-records.out", "--record-fields", std::to_string(lm)});
    records.argv.insert(records.argv.end(), a.fields.begin(), a.fields.end());
    p.push_back(records);
    turns.push_back({"/dev/null", s + "-records.out"});
    for (const char* jobs : {"1", "2"}) {
      const std::string out = s + "-j" + jobs + ".bin";
      p.push_back(program(std::string("conv2model-prepare -j ") + jobs,
                          {a.prepare, "-j", jobs, "--allow-holes", "-o", out, grib}));
      turns.push_back({"/dev/null", out});
    }
  }
  take_turns(p, a.dir, runs, turns);
  program_runs end_to_end = program("end to end: GRIB 2 in, work file out", {});
  for (std::size_t r = 0; r < p[0].seconds.size(); ++r)
    end_to_end.seconds.push_back(p[0].seconds[r] + p[1].seconds[r]);
  end_to_end.peak_mib = std::max(p[0].peak_mib, p[1].peak_mib);
  std::printf(
      "| prepare | program | median | min | max | peak RSS |\n|---|---|---:|---:|---:|---:|\n");
  print_rows(stem(a.gribs[0]), {p[0], p[1], end_to_end});
  for (std::size_t f = 0; f < a.gribs.size(); ++f)
    print_rows(stem(a.gribs[f]), {p.begin() + std::ptrdiff_t(2 + per_file * f),
                                  p.begin() + std::ptrdiff_t(2 + per_file * (f + 1))});

  bool ok = true;
  std::printf("\n| ratio | of medians | least | most | target |\n|---|---:|---:|---:|---|\n");
  for (std::size_t f = 0; f < a.gribs.size(); ++f) {
    const std::size_t at = 2 + per_file * f;
    const program_runs &floor = p[at], &records = p[at + 1], &one = p[at + 2], &two = p[at + 3];
    const std::string s = stem(a.gribs[f]);
    ok &= print_ratio((s + ": prepare -j 1 / floor").c_str(), one, floor, prepare_target);
    print_ratio((s + ": prepare -j 1 / floor writing whole records").c_str(), one, records, 0);
    // Two processes pay where decoding is the work: the compressed packings.
    ok &=
        print_speedup((s + ": prepare -j 1 / -j 2").c_str(), one, two, f == 0 ? 0 : speedup_target);
  }
  // wait4 gives the largest resident set of the process and its decoding processes, not
  // their sum; each decoding process holds a field or two besides ecCodes.
  std::printf(
      "\n| memory | output | peak RSS, -j 2 (largest process) | limit |\n|---|---:|---:|---|\n");
  for (std::size_t f = 0; f < a.gribs.size(); ++f) {
    const std::string s = stem(a.gribs[f]);
    const double out = file_mib(a.dir + "/" + s + "-j1.bin"), peak = p[5 + per_file * f].peak_mib;
    const double limit = 1.1 * out + 64;
    std::printf("| %s | %.0f MiB | %.0f MiB | %s (<= %.0f MiB) |\n", s.c_str(), out, peak,
                peak <= limit ? "ok" : "MISSED", limit);
    ok &= peak <= limit;
    // The same bytes, whatever the number of processes, and from the end-to-end run.
    if (!same_bytes(a.dir + "/" + s + "-j1.bin", a.dir + "/" + s + "-j2.bin") ||
        (f == 0 && !same_bytes(a.dir + "/" + s + "-j1.bin", a.dir + "/analysis.bin")))
      fail(s + ": conv2model-prepare wrote different bytes with another number of processes");
  }
  std::printf("\n");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto dashes = std::find(args.begin(), args.end(), "--");
  if (args.size() < 3 || (args.size() > 3 && (args.size() < 9 || dashes - args.begin() < 8))) {
    std::fprintf(stderr,
                 "usage: companion_bench RUNS INSPECT CASE_DIR [PREPARE CONV2MODEL FLOOR "
                 "PREPARE_DIR GRIB2... -- FIELD...]\n");
    return 2;
  }
  const int runs = parse_runs(argv[1]);
  std::printf(
      "Wall time of %d runs per program after a warm-up, the programs taking turns, "
      "warm page cache; peak RSS (largest) from wait4.\n\n",
      runs);
  bool ok = bench_export(absolute(args[1]), absolute(args[2]), runs);
  if (args.size() > 3) {
    prepare_args a{
        absolute(args[3]),       absolute(args[4]), absolute(args[5]), absolute(args[6]), {},
        {dashes + 1, args.end()}};
    for (auto g = args.begin() + 7; g != dashes; ++g) a.gribs.push_back(absolute(*g));
    ok &= bench_prepare(a, runs);
  }
  return ok ? 0 : 1;
}

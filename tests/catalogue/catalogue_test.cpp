// The bad-input catalogue: each row is one way the configuration, standard input, the
// input field file or the output paths can be wrong, run through the real binary in a
// scratch directory. Every row checks the status, a fragment of the one diagnostic line,
// that no signal ended the process and that the inputs are unchanged. Rows that fail
// before the work file is opened also check that the directory is exactly as it was
// (no output is created). Rows that fail before the work file is written run a second
// time with an existing work file, which must be left byte-identical.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>

#include "common/constants.hpp"
#include "common/grid_config_file.hpp"
#include "tests/support/scratch.hpp"
#include "tools/record_writer.hpp"

namespace c2m::test {
namespace {

// The files of one case before the run. The base case is a valid 4 x 3 x 2 sample.
struct case_files {
  sample::analysis a = sample::make_sample(4, 3, 2);
  std::optional<std::string> config = sample::grid_config_text(a, "catalogue");
  std::vector<std::string> records = input_records(a);
  bool input_present = true;
  std::vector<std::string> dirs;  // directories to create, relative to the case
  std::vector<std::pair<std::string, std::string>> links;  // symbolic links: name, target
  std::string stdin_text = "an.bin\nline two\n";
  std::string input_name = "an.bin";

  void use_sample(const sample::analysis& s) {
    a = s;
    config = sample::grid_config_text(a, "catalogue");
    records = input_records(a);
  }
  // Standard input names path, a file the case does not write.
  void read_from(const std::string& path) {
    input_present = false;
    input_name = path;
    stdin_text = path + "\nline two\n";
  }
  // The configuration with its dimensions line replaced.
  void set_dimensions(const std::string& line) {
    std::string& c = *config;
    const std::size_t start = c.find('\n') + 1;
    c.replace(start, c.find('\n', start) - start, line);
  }
  std::string input() const {
    std::string bytes;
    for (const auto& r : records) bytes += r;
    return bytes;
  }
};

enum class reaches { nothing, work_file, end };

struct bad_input {
  const char* name;
  std::function<void(case_files&)> change;
  int status;
  const char* diagnostic;             // a fragment of the diagnostic line
  reaches opened = reaches::nothing;  // the last output the run opens
  std::int64_t file_size_limit = 0;   // RLIMIT_FSIZE in the child, 0 for none
  const char* stdout_path = nullptr;  // where the progress log goes, else captured
  bool input_overwritten = false;     // the run writes over its own input (a link)
};

// Failure messages name the row rather than dump its bytes.
void PrintTo(const bad_input& row, std::ostream* os) {
  *os << row.name;
}

std::string lengths(std::int32_t leading, std::int32_t trailing) {
  return std::string(reinterpret_cast<const char*>(&leading), 4) +
         std::string(reinterpret_cast<const char*>(&trailing), 4);
}

// A record with its leading and trailing markers replaced.
std::string reframe(const std::string& record, std::int32_t leading, std::int32_t trailing) {
  const std::string m = lengths(leading, trailing);
  return m.substr(0, 4) + record.substr(4, record.size() - 8) + m.substr(4);
}

std::string config_without_last_lines(const case_files& c, int lines) {
  std::string t = *c.config;
  for (int k = 0; k < lines; ++k) t.erase(t.rfind('\n', t.size() - 2) + 1);
  return t;
}

// Every 4-byte word of the file reversed: markers, level count and floats alike, as
// a big-endian Fortran build writes the same records.
std::string big_endian(std::string bytes) {
  for (std::size_t k = 0; k + 4 <= bytes.size(); k += 4) std::reverse(&bytes[k], &bytes[k + 4]);
  return bytes;
}

const std::vector<bad_input>& catalogue() {
  using c = case_files;
  static const std::vector<bad_input> rows = {
      // The grid configuration file.
      {"no_configuration_file", [](c& f) { f.config.reset(); }, 1,
       "./InputModelInf.txt: cannot open grid configuration file: No such file or directory"},
      {"configuration_is_a_directory",
       [](c& f) {
         f.config.reset();
         f.dirs = {"InputModelInf.txt"};
       },
       1, "./InputModelInf.txt: is a directory"},
      {"empty_configuration", [](c& f) { f.config = ""; }, 1,
       "./InputModelInf.txt: end of file before the title line"},
      {"title_only", [](c& f) { f.config = "catalogue\n"; }, 1,
       "./InputModelInf.txt: end of file before the grid dimensions im, jm, lm"},
      {"two_dimensions_then_end_of_file", [](c& f) { f.config = "catalogue\n4 3\n"; }, 1,
       "end of file before the grid dimensions im, jm, lm (line 2 was the last)"},
      {"word_for_a_dimension", [](c& f) { f.set_dimensions("4 three 2"); }, 1,
       "line 2: grid dimensions im, jm, lm: expected a 32-bit integer, found \"three\""},
      {"dimension_beyond_32_bits", [](c& f) { f.set_dimensions("4 3 2147483648"); }, 1,
       "expected a 32-bit integer, found \"2147483648\""},
      {"real_for_a_dimension", [](c& f) { f.set_dimensions("1.5 3 2"); }, 1,
       "expected a 32-bit integer, found \"1.5\""},
      {"description_integers_missing", [](c& f) { f.config = config_without_last_lines(f, 3); }, 1,
       "end of file before the increment along the second axis kgds(10)"},
      {"pressure_line_missing", [](c& f) { f.config = config_without_last_lines(f, 1); }, 1,
       "end of file before the pressure of level 2"},
      {"word_for_a_pressure", [](c& f) { f.config = config_without_last_lines(f, 1) + "high\n"; },
       1, "line 11: pressure of level 2: expected a real number, found \"high\""},
      {"zero_dimension", [](c& f) { f.set_dimensions("4 0 2"); }, 1,
       "grid dimensions must be at least 1, got im=4 jm=0 lm=2"},
      {"negative_dimension", [](c& f) { f.set_dimensions("4 3 -2"); }, 1,
       "grid dimensions must be at least 1, got im=4 jm=3 lm=-2"},
      {"dimensions_overflow_64_bits",
       [](c& f) { f.set_dimensions("2147483647 2147483647 2147483647"); }, 1,
       "Integer overflow when calculating the amount of memory to allocate"},
      {"dimensions_cannot_be_allocated", [](c& f) { f.set_dimensions("16384 16384 2147483647"); },
       1, "Allocation would exceed memory limit"},
      {"grid_record_beyond_2_gib", [](c& f) { f.set_dimensions("30000 30000 1"); }, 1,
       "a grid of im=30000 by jm=30000 points does not fit a work-file record"},
      {"huge_level_count_few_pressures", [](c& f) { f.set_dimensions("1 1 2000000000"); }, 1,
       "end of file before the pressure of level 3"},
      {"configuration_beyond_16_mib",
       [](c& f) { *f.config += std::string(std::size_t{17} << 20, '\n'); }, 1,
       "./InputModelInf.txt: larger than 16 MiB"},

      // Standard input.
      {"standard_input_empty", [](c& f) { f.stdin_text = ""; }, 1, "standard input: empty"},
      {"standard_input_one_line", [](c& f) { f.stdin_text = "an.bin\n"; }, 1,
       "standard input: end of file before line 2"},
      {"first_line_of_blanks", [](c& f) { f.stdin_text = "      \nline two\n"; }, 1,
       "(empty input file name): cannot open input file: No such file or directory"},
      {"path_of_300_characters",
       [](c& f) { f.stdin_text = std::string(300, 'a') + "\nline two\n"; }, 1,
       "standard input: line 1 holds no blank in its first 255 characters"},
      {"path_of_240_characters",
       [](c& f) { f.stdin_text = std::string(240, 'a') + " \nline two\n"; }, 1,
       "standard input: the input file path has 240 characters; at most 239"},

      // The input field file.
      {"input_file_missing", [](c& f) { f.input_present = false; }, 1,
       "an.bin: cannot open input file: No such file or directory"},
      {"input_is_a_directory",
       [](c& f) {
         f.input_present = false;
         f.dirs = {"an.bin"};
       },
       1, "an.bin: is a directory, not an input field file"},
      {"input_file_empty", [](c& f) { f.records = {}; }, 1,
       "an.bin: end of file before record 1 (level count)"},
      {"input_is_dev_null", [](c& f) { f.read_from("/dev/null"); }, 1,
       "/dev/null: end of file before record 1 (level count)"},
      {"input_is_dev_zero", [](c& f) { f.read_from("/dev/zero"); }, 1,
       "/dev/zero: record 1 (level count) is short: it holds 0 bytes, the grid needs 4"},
      {"cut_inside_a_leading_marker",
       [](c& f) {
         f.records = {f.records[0], std::string("\x60\0", 2)};
       },
       1, "an.bin: record 2 (ua): file ends inside its leading length marker"},
      {"cut_inside_a_trailing_marker", [](c& f) { f.records = {f.records[0].substr(0, 10)}; }, 1,
       "an.bin: record 1 (level count) is cut: its length says 4 bytes, the file ends after 6"},
      {"cut_inside_record_data",
       [](c& f) {
         f.records = {f.records[0], f.records[1].substr(0, 50)};
       },
       1, "an.bin: record 2 (ua) is cut: its length says 96 bytes, the file ends after 46"},
      {"record_shorter_than_its_grid",
       [](c& f) { f.records[1] = sample::frame(f.a.uw.data(), 92); }, 1,
       "an.bin: record 2 (ua) is short: it holds 92 bytes, the grid needs 96"},
      {"negative_length", [](c& f) { f.records[2] = reframe(f.records[2], -96, -96); }, 1,
       "an.bin: record 3 (va) is corrupt: negative length -96"},
      {"huge_length", [](c& f) { f.records[3] = reframe(f.records[3], 2147483647, 96); }, 1,
       "an.bin: record 4 (zg) is cut: its length says 2147483647 bytes"},
      {"leading_and_trailing_lengths_differ",
       [](c& f) { f.records[4] = reframe(f.records[4], 96, 100); }, 1,
       "an.bin: record 5 (hur) is corrupt: leading length 96 and trailing length 100 differ"},
      {"level_count_differs", [](c& f) { f.records[0] = sample::frame_int(3); }, 1,
       "an.bin: record 1 gives 3 levels, but ./InputModelInf.txt configures lm = 2"},
      {"end_of_file_before_record_8", [](c& f) { f.records.pop_back(); }, 1,
       "an.bin: end of file before record 8 (surface fields)"},
      {"file_written_big_endian", [](c& f) { f.records = {big_endian(f.input())}; }, 1,
       "an.bin: the file is big-endian"},

      // The outputs.
      {"work_file_path_is_a_directory", [](c& f) { f.dirs = {"an.bin.ORUwrk"}; }, 1,
       "an.bin.ORUwrk: cannot open work file for writing: Is a directory"},
      {"info_file_path_is_a_directory", [](c& f) { f.dirs = {"an.bin.ORUwrk.gdsinfo"}; }, 1,
       "an.bin.ORUwrk.gdsinfo: cannot create grid description info file: Is a directory",
       reaches::work_file},
      // 27 records of 40 * 30 floats: the work file stops at 64 KiB, after the info file.
      {"work_file_write_fails_part_way", [](c& f) { f.use_sample(sample::make_sample(40, 30, 3)); },
       1, "an.bin.ORUwrk: cannot write: File too large", reaches::end, 65536},
      {"info_file_write_fails", [](c&) {}, 1, "an.bin.ORUwrk.gdsinfo: cannot write: File too large",
       reaches::end, 200},
      {"progress_log_cannot_be_written", [](c&) {}, 1,
       "standard output: cannot write the progress log", reaches::end, 0, "/dev/full"},
      {"work_file_is_a_link_to_the_input",
       [](c& f) {
         f.links = {{"an.bin.ORUwrk", "an.bin"}};
       },
       1, "an.bin.ORUwrk: is the input field file itself (a link to it?)"},
      // The info file is a link to the input: creating it cuts the input to the info
      // text while the grids still read it, and the records can no longer be taken from
      // it. The input must be named, not the work file, and no signal may end the run.
      {"input_cut_under_the_run_by_a_linked_info_file",
       [](c& f) {
         f.use_sample(sample::make_sample(40, 30, 3));
         f.links = {{"an.bin.ORUwrk.gdsinfo", "an.bin"}};
       },
       1, "an.bin: the file was cut while it was being converted", reaches::end, 0, nullptr, true},

      // A data stop, and valid runs that must still succeed.
      {"temperature_level_without_data",
       [](c& f) {
         f.a.tp[12] = input_fill;
         f.records = input_records(f.a);
       },
       2, "conversion stopped, no output written: an.bin: Temperature data missing at level:"},
      {"valid_case", [](c&) {}, 0, "", reaches::end},
      {"records_longer_than_needed_and_data_after_record_8",
       [](c& f) {
         const std::string longer = f.records[1].substr(4, 96) + "extra";
         f.records[1] = sample::frame(longer.data(), longer.size());
         f.records.push_back(sample::frame_int(7));
       },
       0, "", reaches::end},
  };
  return rows;
}

// Names, kinds and content hashes of the entries of a directory.
std::map<std::string, std::string> snapshot(const std::string& dir) {
  std::map<std::string, std::string> s;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    s[name] =
        e.is_directory() ? "directory" : std::to_string(content_hash(read_file(e.path().string())));
  }
  return s;
}

std::string work_path(const std::string& dir, const case_files& f) {
  const std::string work = f.input_name + ".ORUwrk";
  return work[0] == '/' ? work : dir + "/" + work;
}

std::string input_path(const std::string& dir, const case_files& f) {
  return f.input_name[0] == '/' ? f.input_name : dir + "/" + f.input_name;
}

// Hash of the input when it is a regular file (a device such as /dev/zero is never
// read to its end), else 0.
std::uint64_t input_hash(const std::string& dir, const case_files& f) {
  const std::string path = input_path(dir, f);
  return std::filesystem::is_regular_file(path) ? content_hash(read_file(path)) : 0;
}

void materialise(const std::string& dir, const case_files& f) {
  if (f.config) write_text(dir + "/" + std::string(grid_config_file::name), *f.config);
  if (f.input_present) write_text(dir + "/" + f.input_name, f.input());
  for (const auto& d : f.dirs) std::filesystem::create_directory(dir + "/" + d);
  for (const auto& [name, target] : f.links)
    std::filesystem::create_symlink(target, dir + "/" + name);
}

// Under AddressSanitizer a refused huge allocation also prints a warning line of the
// runtime ("==PID==WARNING: AddressSanitizer failed to allocate ..."); it is not the
// program's, so it is left out of the diagnostic. Real sanitizer reports end the run
// with status 86 (tests/catalogue/CMakeLists.txt), which no row expects.
std::string without_allocation_warnings(const std::string& err) {
  std::string kept;
  std::size_t start = 0;
  while (start < err.size()) {
    const std::size_t end = std::min(err.find('\n', start), err.size() - 1) + 1;
    const std::string line = err.substr(start, end - start);
    if (!(line.rfind("==", 0) == 0 &&
          line.find("WARNING: AddressSanitizer failed to allocate") != std::string::npos))
      kept += line;
    start = end;
  }
  return kept;
}

class catalogue_row : public testing::TestWithParam<bad_input> {};

// One run of the row in dir; checks what every row promises and returns the result.
run_result run_row(const bad_input& row, const case_files& f, const std::string& dir) {
  const auto before = snapshot(dir);
  const std::uint64_t input_before = input_hash(dir, f);
  run_result r = run_conv2model(dir, f.stdin_text, row.file_size_limit, row.stdout_path);
  r.err = without_allocation_warnings(r.err);

  EXPECT_EQ(r.signal, 0) << "a signal ended the run; stderr: " << r.err;
  EXPECT_EQ(r.status, row.status) << r.err;
  if (row.status == 0) {
    EXPECT_EQ(r.err, "");
  } else {
    EXPECT_EQ(r.err.rfind("conv2model: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one diagnostic line: " << r.err;
    EXPECT_NE(r.err.find(row.diagnostic), std::string::npos) << r.err;
  }
  if (!row.input_overwritten) {
    EXPECT_EQ(input_hash(dir, f), input_before) << "the input changed";
  }

  auto after = snapshot(dir);
  if (row.opened == reaches::nothing) {
    EXPECT_EQ(after, before) << "the directory changed";
    if (f.input_name[0] == '/') {
      EXPECT_FALSE(file_exists(work_path(dir, f)));
    }
  } else {
    // All but the outputs stay as they were; an existing work file too, when the run
    // ends before writing it.
    const bool work_kept =
        row.opened == reaches::work_file && before.count(f.input_name + ".ORUwrk");
    auto unchanged = before;
    for (auto* s : {&unchanged, &after}) {
      if (!work_kept) s->erase(f.input_name + ".ORUwrk");
      s->erase(f.input_name + ".ORUwrk.gdsinfo");
      if (row.input_overwritten) s->erase(f.input_name);
    }
    EXPECT_EQ(after, unchanged);
  }
  return r;
}

TEST_P(catalogue_row, ends_with_its_status_and_diagnostic_and_leaves_files_as_promised) {
  const bad_input& row = GetParam();
  case_files f;
  row.change(f);

  {
    scratch_dir dir;
    materialise(dir.path(), f);
    run_row(row, f, dir.path());
    if (row.status == 0) {
      const std::size_t points =
          static_cast<std::size_t>(f.a.im) * static_cast<std::size_t>(f.a.jm);
      EXPECT_EQ(std::filesystem::file_size(dir / "an.bin.ORUwrk"),
                (5 * static_cast<std::size_t>(f.a.lm) + 12) * points * sizeof(float));
      EXPECT_TRUE(file_exists(dir / "an.bin.ORUwrk.gdsinfo"));
    }
  }

  // An existing work file survives a run that fails before writing it.
  const bool work_in_dir = f.input_name[0] != '/';
  const bool work_is_directory =
      std::find(f.dirs.begin(), f.dirs.end(), f.input_name + ".ORUwrk") != f.dirs.end();
  const bool work_is_link = std::any_of(f.links.begin(), f.links.end(), [&](const auto& link) {
    return link.first == f.input_name + ".ORUwrk";
  });
  if (row.opened != reaches::end && work_in_dir && !work_is_directory && !work_is_link) {
    scratch_dir dir;
    materialise(dir.path(), f);
    write_text(dir / (f.input_name + ".ORUwrk"), std::string(5000, '\x5a') + "previous run");
    run_row(row, f, dir.path());
  }
}

INSTANTIATE_TEST_SUITE_P(bad_inputs, catalogue_row, testing::ValuesIn(catalogue()),
                         [](const testing::TestParamInfo<bad_input>& info) {
                           return std::string(info.param.name);
                         });

TEST(catalogue, covers_at_least_thirty_kinds_of_bad_input) {
  const auto& rows = catalogue();
  EXPECT_GE(
      std::count_if(rows.begin(), rows.end(), [](const bad_input& r) { return r.status != 0; }),
      30);
}

}  // namespace
}  // namespace c2m::test

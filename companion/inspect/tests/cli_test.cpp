#include "companion/inspect/cli.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "common/version.hpp"
#include "companion/common/netcdf_file.hpp"
#include "companion/common/work_file.hpp"
#include "companion/inspect/tests/work_case.hpp"
#include "tests/support/scratch.hpp"
#include "tools/sample_analysis.hpp"

namespace c2m::inspect {
namespace {

struct result {
  int status;
  std::string out, err;
};

result run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = inspect_main(args, out, err);
  return {status, out.str(), err.str()};
}

TEST(inspect_cli, help_for_the_program_and_every_command_goes_to_standard_output) {
  const result main_help = run({"--help"});
  EXPECT_EQ(main_help.status, 0);
  EXPECT_TRUE(main_help.out.starts_with("Usage: conv2model-inspect COMMAND"));
  EXPECT_EQ(run({"-h"}).out, main_help.out);
  for (const char* command : {"stats", "compare", "netcdf", "png", "overview"}) {
    const result r = run({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_TRUE(r.out.starts_with(std::string("Usage: conv2model-inspect ") + command)) << r.out;
    EXPECT_TRUE(r.err.empty());
  }
  const std::string png = run({"png", "-h"}).out;
  for (const char* name :
       {"ua", "va", "zg", "hus", "ta", "sftlf", "psl", "ps ", "orog", "tsl1", "mrsov4", "uw vw"})
    EXPECT_NE(png.find(name), std::string::npos) << name;
}

TEST(inspect_cli, the_version_comes_from_the_program_and_from_every_command) {
  const std::string expected = std::string("conv2model-inspect ") + version + "\n";
  EXPECT_EQ(run({"--version"}).out, expected);
  for (const char* command : {"stats", "compare", "netcdf", "png", "overview"}) {
    // The version wins over missing operands: nothing is read.
    const result r = run({command, "--version"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.out, expected) << command;
    EXPECT_TRUE(r.err.empty()) << r.err;
  }
}

// A wrong command line: status 64, one line naming the command and pointing to its help,
// nothing read or written. A command line that is right but names what the work file
// does not hold is an error of the run: status 2.
TEST(inspect_cli, mistakes_give_one_diagnostic_on_standard_error) {
  c2m::test::scratch_dir dir;
  test::write_case(test::make_case(3, 2, 2), dir / "w");
  const struct {
    std::vector<std::string> args;
    std::string says;
    int status = 64;
  } cases[] = {
      {{}, "conv2model-inspect: missing command; see 'conv2model-inspect --help'\n"},
      {{"show"}, "conv2model-inspect: unknown command 'show'; see 'conv2model-inspect --help'"},
      {{"stats"},
       "conv2model-inspect stats: missing operand; see 'conv2model-inspect stats --help'"},
      {{"stats", "--bins", dir / "w"}, "stats: unknown option '--bins'"},
      {{"netcdf", dir / "w", "a.nc", "b.nc"}, "netcdf: unexpected argument 'b.nc'"},
      {{"overview", dir / "w"}, "overview: missing operand"},
      {{"compare", "--tolerance", "-1", dir / "w", dir / "w"}, "tolerance must be a number"},
      {{"compare", dir / "w", dir / "w", "--tolerance"}, "--tolerance needs a value"},
      {{"png", dir / "w", "tp", "0", dir / "x.png"}, "LEVEL must be a whole number from 1"},
      {{"png", dir / "w", "tp", "two", dir / "x.png"}, "LEVEL must be a whole number"},
      {{"png", "--hpa", "900", dir / "w", "ta", "1", dir / "x.png"}, "extra operand"},
      {{"png", "--min", "5", "--max", "1", dir / "w", "ta", "1", dir / "x.png"},
       "--min must be below --max"},
      {{"png", "--max", "warm", dir / "w", "ta", "1", dir / "x.png"}, "--max must be a number"},
      {{"png", "--time", "noon", dir / "w", "ta", "1", dir / "x.png"},
       "of the form 2024-01-15T00:00"},
      {{"netcdf", "--time", "2024-02-30T00:00", dir / "w", dir / "x.nc"},
       "analysis time '2024-02-30T00:00' is not a date and time that exists"},
      {{"netcdf", "--time", "15.1.2024", dir / "w", dir / "x.nc"}, "of the form 2024-01-15T00:00"},
      {{"netcdf", "--soil-depths", "0.1,0.4,1", dir / "w", dir / "x.nc"}, "give 3 layers"},
      {{"netcdf", "--soil-depths", "0.1,0.4,0.3,2", dir / "w", dir / "x.nc"},
       "not four increasing depths"},
      {{"netcdf", "--grib-edition", "3", dir / "w", dir / "x.nc"}, "must be 1 or 2"},
      {{"netcdf", "--deflate", "10", dir / "w", dir / "x.nc"}, "--deflate must be a level from 0"},
      {{"netcdf", "--deflate=", dir / "w", dir / "x.nc"}, "--deflate must be a level from 0"},
      {{"png", dir / "w", "tp", dir / "x.png"}, "tp is a 3-D field: give a LEVEL", 2},
      {{"png", dir / "w", "rh", "1", dir / "x.png"}, "unknown field 'rh'", 2},
      {{"png", "--hpa", "500", dir / "w", "ta", dir / "x.png"}, "no level at 500 hPa", 2},
      {{"stats", dir / "none"},
       "conv2model-inspect: " + (dir / "none.gdsinfo") + ": cannot open",
       2},
  };
  for (const auto& c : cases) {
    const result r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.says;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_FALSE(c2m::test::file_exists(dir / "x.png"));
  EXPECT_FALSE(c2m::test::file_exists(dir / "x.nc"));
}

TEST(inspect_cli, a_failed_write_of_the_output_is_an_error) {
  c2m::test::scratch_dir dir;
  test::write_case(test::make_case(3, 2, 2), dir / "w");
  std::ostringstream out, err;
  out.setstate(std::ios::badbit);
  EXPECT_EQ(inspect_main({"stats", dir / "w"}, out, err), 2);
  EXPECT_EQ(err.str(), "conv2model-inspect: cannot write standard output\n");
}

// An output that is the work file or its info file, by any name (a link, ..), is refused
// before anything is written: the inputs stay byte for byte.
TEST(inspect_cli, an_output_that_is_one_of_the_inputs_is_refused_and_the_inputs_kept) {
  c2m::test::scratch_dir dir;
  test::write_case(test::make_case(3, 2, 2), dir / "w");
  const std::string work = c2m::test::read_file(dir / "w");
  const std::string info = c2m::test::read_file(dir / "w.gdsinfo");
  std::filesystem::create_symlink(dir / "w", dir / "link");
  std::filesystem::create_directory(dir / "sub");
  const std::vector<std::vector<std::string>> commands = {
      {"netcdf", dir / "w", dir / "link"},
      {"png", dir / "w", "ta", "1", dir / "sub/../w.gdsinfo"},
      {"overview", dir / "w", dir / "w"},
  };
  for (const std::vector<std::string>& args : commands) {
    const result r = run(args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_NE(r.err.find("writing it would destroy the input"), std::string::npos) << r.err;
    EXPECT_EQ(c2m::test::read_file(dir / "w"), work) << args[0];
    EXPECT_EQ(c2m::test::read_file(dir / "w.gdsinfo"), info) << args[0];
  }
}

TEST(inspect_cli, a_grid_whose_increments_disagree_is_warned_about_once_and_still_exported) {
  c2m::test::scratch_dir dir;
  test::work_case c = test::make_case(5, 4, 2);
  c.kgds[9] = 300;  // the points are 250 millidegrees apart
  write_case(c, dir / "w");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"netcdf", dir / "w", dir / "w.nc"},
        std::vector<std::string>{"png", "--hpa", "900", dir / "w", "va", dir / "w.png"}}) {
    const result r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "conv2model-inspect: warning: " + (dir / "w.gdsinfo") +
                         ": the longitude increment kgds(9) = 300 millidegrees disagrees with "
                         "the first and last points, 5 points 0.25 degrees apart; the points "
                         "are used\n");
  }
  const companion::netcdf_file nc = companion::netcdf_file::open(dir / "w.nc");
  EXPECT_EQ(nc.read_floats(nc.var("lon")).back(), -9.0f);
  // The history tells the command as typed.
  EXPECT_NE(nc.text(NC_GLOBAL, "history")
                .find(": conv2model-inspect netcdf " + (dir / "w") + " " + (dir / "w.nc")),
            std::string::npos);
  EXPECT_TRUE(c2m::test::file_exists(dir / "w.png"));
}

TEST(inspect_cli, compare_status_tells_match_from_difference) {
  c2m::test::scratch_dir dir;
  test::work_case c = test::make_case(3, 2, 2);
  write_case(c, dir / "a");
  write_case(c, dir / "b");
  EXPECT_EQ(run({"compare", dir / "a", dir / "b"}).status, 0);
  c.at(1, 3, 2) += 0.01f;
  write_case(c, dir / "b");
  const result r = run({"compare", dir / "a", dir / "b"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("record 1 ua level 1"), std::string::npos) << r.out;
  EXPECT_EQ(run({"compare", "--tolerance=0.02", dir / "a", dir / "b"}).status, 0);
}

TEST(inspect_cli, stats_check_fails_on_any_flag_and_counts_them_last) {
  c2m::test::scratch_dir dir;
  test::work_case c = test::make_case(3, 2, 2);
  write_case(c, dir / "w");
  result r = run({"stats", "--check", dir / "w"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(r.out.ends_with("\n0 flags raised in 0 of 22 records\n")) << r.out;

  for (std::int32_t i = 1; i <= 3; ++i) c.at(2, i, 1) = -99999.0f;  // a missing row of ua
  c.at(9, 1, 2) = 0.0f;                                             // ta level 1 at 0 K
  write_case(c, dir / "w");
  r = run({"stats", "--check", dir / "w"});
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("  3 missing (-99999)\n"), std::string::npos) << r.out;
  EXPECT_TRUE(r.out.ends_with("\n2 flags raised in 2 of 22 records\n")) << r.out;
  EXPECT_TRUE(r.err.empty()) << r.err;
  EXPECT_EQ(run({"stats", dir / "w"}).status, 0);  // without --check: a table, no verdict
}

// The whole road: the bundled sample analysis converted by conv2model, then looked at.
TEST(inspect_cli, looks_at_a_converted_sample_analysis) {
  c2m::test::scratch_dir dir;
  sample::sample_options options;
  options.missing_rh_top = 1;
  c2m::test::write_case(dir.path(), sample::make_sample(12, 9, 4, options));
  ASSERT_EQ(c2m::test::run_conv2model(dir.path(), "an.bin\nsample\n").status, 0);
  const std::string work = dir / "an.bin.ORUwrk";

  const result stats = run({"stats", "--histogram", work});
  EXPECT_EQ(stats.status, 0) << stats.err;
  EXPECT_NE(stats.out.find("\n  20  ta          4        10"), std::string::npos) << stats.out;
  EXPECT_EQ(stats.out.find("outside"), std::string::npos) << stats.out;  // a sound analysis
  EXPECT_NE(stats.out.find("  32  mrsov4"), std::string::npos) << stats.out;
  EXPECT_EQ(run({"stats", "--check", work}).status, 0);

  EXPECT_EQ(run({"netcdf", work, dir / "an.nc"}).status, 0);
  const companion::netcdf_file nc = companion::netcdf_file::open(dir / "an.nc");
  const companion::work_file w = companion::read_work_file(work);
  const std::vector<float> tp = nc.read_floats(nc.var("ta"));
  EXPECT_TRUE(std::equal(tp.begin(), tp.end(), w.record(17).begin()));

  EXPECT_EQ(run({"png", work, "q", "2", dir / "q.png"}).status, 0);
  EXPECT_EQ(run({"png", work, "st3", dir / "st3.png"}).status, 0);
  EXPECT_EQ(c2m::test::read_file(dir / "st3.png").substr(1, 3), "PNG");
  EXPECT_EQ(run({"overview", "--time", "2024-01-15T00", work, dir / "o.png"}).status, 0);
  EXPECT_EQ(c2m::test::read_file(dir / "o.png").substr(1, 3), "PNG");
}

}  // namespace
}  // namespace c2m::inspect

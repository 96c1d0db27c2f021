// conv2model-prepare on what users hand it: outputs that are inputs, interruptions, a
// forecast series, two runs, ensemble members, holes, specific humidity instead of
// relative humidity, and a Lambert grid regridded with CDO. Every case is made from real
// messages of the GFS file and of NCEP's Eta file with grib_copy, grib_set and CDO, as
// each test says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "common/constants.hpp"
#include "companion/prepare/tests/prepare_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::test {
namespace {

// The GFS fields the converter needs (grib_copy also splits NCEP's u+v messages), and the
// same six and twelve hours later (grib_set forecastTime): a series f120, f126, f132.
class prepare_real : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<scratch_dir>();
    const shell_result r =
        shell(dir_->path(),
              "grib_copy -w typeOfLevel=isobaricInhPa/surface/meanSea/depthBelowLandLayer " +
                  quoted(gfs_grib2()) +
                  " f120.grib2 && grib_set -s forecastTime=126 f120.grib2 f126.grib2 && "
                  "grib_set -s forecastTime=132 f120.grib2 f132.grib2");
    if (r.status != 0) {
      failure_ = "the times cannot be made: " + r.err;
      return;
    }
    const shell_result ref = prepare(dir_->path(), "-o ref.bin f120.grib2");
    if (ref.status != 0) {
      failure_ = "the reference cannot be made: " + ref.err;
      return;
    }
    ref_ = read_file(*dir_ / "ref.bin");
    ref_config_ = read_file(*dir_ / "InputModelInf.txt");
  }
  static void TearDownTestSuite() { dir_.reset(); }
  // A failure while the suite is set up fails every test (GoogleTest would skip them).
  void SetUp() override {
    if (!failure_.empty()) FAIL() << failure_;
  }
  static std::string in(const std::string& name) { return quoted(*dir_ / name); }

  static std::unique_ptr<scratch_dir> dir_;
  static std::string ref_, ref_config_, failure_;
};

std::unique_ptr<scratch_dir> prepare_real::dir_;
std::string prepare_real::ref_, prepare_real::ref_config_, prepare_real::failure_;

TEST_F(prepare_real, an_output_that_is_an_input_is_refused_before_anything_is_written) {
  scratch_dir dir;
  ASSERT_EQ(shell(dir.path(), "mkdir sub && cp " + in("f120.grib2") +
                                  " sub/in.grib2 && ln -s sub/in.grib2 link.grib2")
                .status,
            0);
  for (const char* out : {"sub/in.grib2", "./sub/../sub/in.grib2", "link.grib2"}) {
    const shell_result r = prepare(dir.path(), std::string("-o ") + out + " sub/in.grib2");
    EXPECT_EQ(r.status, 1) << out;
    EXPECT_EQ(r.err, std::string("conv2model-prepare: ") + out +
                         ": is the input sub/in.grib2; writing it would destroy the input "
                         "(choose another output name)\n");
  }
  EXPECT_TRUE(read_file(dir / "sub/in.grib2") == read_file(*dir_ / "f120.grib2"));
  // The grid configuration is always ./InputModelInf.txt.
  ASSERT_EQ(shell(dir.path(), "cp sub/in.grib2 InputModelInf.txt").status, 0);
  const shell_result r = prepare(dir.path(), "-o x.bin InputModelInf.txt");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("InputModelInf.txt: is the input InputModelInf.txt"), std::string::npos);
  EXPECT_TRUE(read_file(dir / "InputModelInf.txt") == read_file(*dir_ / "f120.grib2"));
  EXPECT_EQ(shell(dir.path(), "ls -A").out, "InputModelInf.txt\nlink.grib2\nsub\n");
}

// The input field file named as the grid configuration by another spelling (through
// "..", by its absolute path): refused before anything is written, as the second file
// written would replace the first.
TEST_F(prepare_real, an_output_that_is_the_other_output_is_refused) {
  scratch_dir dir;
  ASSERT_EQ(shell(dir.path(), "mkdir sub").status, 0);
  for (const std::string& out :
       {std::string("sub/../InputModelInf.txt"), std::string(dir / "InputModelInf.txt")}) {
    const shell_result r = prepare(dir.path(), "-o " + quoted(out) + " " + in("f120.grib2"));
    EXPECT_EQ(r.status, 1) << out;
    EXPECT_EQ(r.err, "conv2model-prepare: " + out +
                         ": is also the output InputModelInf.txt; writing both would leave one "
                         "of them lost (choose another output name: the grid configuration is "
                         "always ./InputModelInf.txt)\n");
    EXPECT_EQ(shell(dir.path(), "ls -A").out, "sub\n");
  }
}

// Eight valid times, written one after the other: the signal comes once the first
// file's temporary exists, while later times are still read.
TEST_F(prepare_real, a_signal_removes_the_temporary_files_and_says_so) {
  for (const char* sig : {"INT", "TERM", "HUP"}) {
    scratch_dir dir;
    const std::string files = in("f120.grib2") + " " + in("f126.grib2") + " " + in("f132.grib2");
    const shell_result r =
        shell(dir.path(),
              "for h in 138 144 150 156 162; do grib_set -s forecastTime=$h " + in("f120.grib2") +
                  " f$h.grib2; done; '" + PREPARE_BIN + "' --each-time -o 'gfs_%d%H.bin' " + files +
                  " f1*.grib2 & pid=$!; "
                  "until ls gfs_*.bin.?????? >/dev/null 2>&1 || ! kill -0 $pid 2>/dev/null; "
                  "do sleep 0.005; done; kill -" +
                  sig + " $pid; wait $pid; echo $?; rm f1*.grib2");
    const int number = std::string(sig) == "INT" ? 2 : std::string(sig) == "TERM" ? 15 : 1;
    EXPECT_EQ(r.out, std::to_string(128 + number) + "\n") << sig << ": " << r.err;
    EXPECT_NE(r.err.find("; its temporary files were removed, no output was written\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(shell(dir.path(), "ls -A").out, "") << sig;
  }
}

// Two runs in one directory at once: each writes its own temporaries, and they rename
// their outputs one after the other (an exclusive lock on the directory), so that
// InputModelInf.txt always comes with the files renamed beside it.
TEST_F(prepare_real, two_runs_at_once_in_one_directory_commit_one_after_the_other) {
  scratch_dir dir;
  const std::string run = "'" + std::string(PREPARE_BIN) + "' -o same.bin " + in("f120.grib2");
  const shell_result both = shell(
      dir.path(), run + " > a.out 2>&1 & " + run + " > b.out 2>&1; b=$?; wait $!; echo $? $b");
  EXPECT_EQ(both.out, "0 0\n") << read_file(dir / "a.out") << read_file(dir / "b.out");
  EXPECT_TRUE(read_file(dir / "same.bin") == ref_);
  EXPECT_EQ(read_file(dir / "InputModelInf.txt"), ref_config_);
  EXPECT_EQ(shell(dir.path(), "ls -A").out, "InputModelInf.txt\na.out\nb.out\nsame.bin\n");

  // While another holds the lock, a run whose file is written waits to rename it: the
  // holder looks once the temporary has all its bytes, a second later.
  scratch_dir held;
  write_text(held / "hold.sh", "('" + std::string(PREPARE_BIN) + "' -o held.bin " +
                                   in("f120.grib2") +
                                   " >/dev/null 2>&1; echo $? > status) &\n"
                                   "for i in $(seq 1200); do\n"
                                   "  [ \"$(stat -c %s held.bin.?????? 2>/dev/null)\" = " +
                                   std::to_string(ref_.size()) +
                                   " ] && break\n"
                                   "  sleep 0.05\n"
                                   "done\n"
                                   "sleep 1\n"
                                   "ls -A > seen\n");
  const shell_result r = shell(held.path(),
                               "flock -o . sh hold.sh; for i in $(seq 1200); do [ -s status ] && "
                               "break; sleep 0.05; done; cat status");
  EXPECT_EQ(r.out, "0\n") << r.err;
  const std::string seen = read_file(held / "seen");
  EXPECT_NE(seen.find("held.bin."), std::string::npos) << seen;
  EXPECT_EQ(seen.find("held.bin\n"), std::string::npos) << seen;
  EXPECT_EQ(seen.find("InputModelInf.txt\n"), std::string::npos) << seen;
  EXPECT_TRUE(read_file(held / "held.bin") == ref_);
  EXPECT_EQ(read_file(held / "InputModelInf.txt"), ref_config_);
}

// Another run in the directory puts its InputModelInf.txt in place (here by hand) while
// this one waits to rename its outputs (the directory's lock held with flock): this
// run's replaces it and says so, as that run's input field file no longer matches it. A
// configuration replaced by the very same contents is not worth a word.
TEST_F(prepare_real, a_run_that_replaces_another_runs_configuration_says_so) {
  for (const bool other : {true, false}) {
    SCOPED_TRACE(other ? "another configuration" : "the same configuration");
    scratch_dir dir;
    write_text(dir / "theirs.txt",
               other ? std::string("another run's configuration\n") : ref_config_);
    write_text(dir / "run.sh", "('" + std::string(PREPARE_BIN) + "' -o b.bin " + in("f120.grib2") +
                                   " > out 2> err; echo $? > status) &\n"
                                   "for i in $(seq 1200); do\n"
                                   "  [ \"$(stat -c %s b.bin.?????? 2>/dev/null)\" = " +
                                   std::to_string(ref_.size()) +
                                   " ] && break\n"
                                   "  sleep 0.05\n"
                                   "done\n"
                                   "cp theirs.txt a.new && mv a.new InputModelInf.txt\n");
    const shell_result r = shell(dir.path(),
                                 "flock -o . sh run.sh; for i in $(seq 1200); do [ -s status ] && "
                                 "break; sleep 0.05; done; cat status");
    EXPECT_EQ(r.out, "0\n") << r.err << read_file(dir / "err");
    EXPECT_TRUE(read_file(dir / "b.bin") == ref_);
    EXPECT_EQ(read_file(dir / "InputModelInf.txt"), ref_config_);
    const std::string said = read_file(dir / "err");
    if (other) {
      EXPECT_NE(
          said.find("conv2model-prepare: note: another run wrote a different InputModelInf.txt in "
                    "this directory while this one ran; this run's has replaced it, so the input "
                    "field files that run wrote here do not match it: give each run a directory of "
                    "its own\n"),
          std::string::npos)
          << said;
    } else {
      EXPECT_EQ(said.find("another run"), std::string::npos) << said;
    }
  }
}

// The same field, level and time in two files: a copy of the message passes (the first
// given is kept, and the file is the one from the GFS file alone); a copy with other
// values (grib_set offsetValuesBy) is refused naming both messages, and nothing is
// written. The same for soil at the same depths. The message numbers are grib_ls's
// order in f120.grib2.
TEST_F(prepare_real, a_field_given_twice_with_other_values_is_refused_naming_both) {
  scratch_dir dir;
  ASSERT_EQ(
      shell(dir.path(),
            "grib_copy -w shortName=t,typeOfLevel=isobaricInhPa,level=500 " + in("f120.grib2") +
                " t500.grib2 && grib_set -s offsetValuesBy=0.5 t500.grib2 t500_warmer.grib2 "
                "&& grib_copy -w shortName=t,typeOfLevel=depthBelowLandLayer,"
                "scaledValueOfFirstFixedSurface=0 " +
                in("f120.grib2") +
                " st.grib2 && grib_set -s offsetValuesBy=1 st.grib2 st_warmer.grib2 && "
                "grib_ls -p shortName,typeOfLevel,level " +
                in("f120.grib2") + " > list")
          .status,
      0);
  // Message numbers from 1, as grib_ls lists them.
  const auto number_of = [&](const std::string& row) {
    std::istringstream list(read_file(dir / "list"));
    std::string line;
    for (int n = 0; std::getline(list, line);) {
      std::istringstream words(line);
      std::string a, b, c;
      if (!(words >> a >> b >> c)) continue;
      if (b == "isobaricInhPa" || b == "surface" || b == "meanSea" || b == "depthBelowLandLayer")
        ++n;
      if (a + " " + b + " " + c == row) return n;
    }
    return 0;
  };
  const int t500 = number_of("t isobaricInhPa 500");
  const int st = number_of("t depthBelowLandLayer 0");  // the first listed: 0-10 cm
  ASSERT_GT(t500, 0);
  ASSERT_GT(st, 0);
  for (const char* again : {"t500.grib2", "st.grib2"}) {
    const shell_result same = prepare(dir.path(), "-o same.bin " + in("f120.grib2") + " " + again);
    ASSERT_EQ(same.status, 0) << same.err;
    EXPECT_TRUE(read_file(dir / "same.bin") == ref_) << again;
  }
  const std::string f120 = *dir_ / "f120.grib2";
  const struct {
    const char* file;
    std::string says;
  } cases[] = {
      {"t500_warmer.grib2",
       "conv2model-prepare: t500_warmer.grib2: message 1 (t, GRIB 2 0/0/0, 500 hPa) gives ta "
       "500 hPa valid at 2011-01-15T12:00Z again, as " +
           f120 + ": message " + std::to_string(t500) +
           " (t, GRIB 2 0/0/0, 500 hPa) does, but with other values (at 10512 of 10512 points); "
           "give only one of them\n"},
      {"st_warmer.grib2", "conv2model-prepare: st_warmer.grib2: message 1 (t, GRIB 2 0/0/0, "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_EQ(shell(dir.path(), "rm -f InputModelInf.txt").status, 0);
    const shell_result r = prepare(dir.path(), "-o warmer.bin " + in("f120.grib2") + " " + c.file);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(shell(dir.path(), "ls warmer.bin* InputModelInf.txt 2>/dev/null").out, "");
    if (c.file == std::string("st_warmer.grib2")) {
      EXPECT_NE(r.err.find(" gives tsl1 valid at 2011-01-15T12:00Z again, as " + f120 +
                           ": message " + std::to_string(st) + " (t, GRIB 2 0/0/0, "),
                std::string::npos)
          << r.err;
    }
  }
}

TEST_F(prepare_real, a_forecast_series_gives_one_file_per_valid_time) {
  scratch_dir dir;
  const std::string files = in("f120.grib2") + " " + in("f126.grib2") + " " + in("f132.grib2");
  const shell_result inv = prepare(dir.path(), "--inventory " + files);
  ASSERT_EQ(inv.status, 0) << inv.err;
  EXPECT_EQ(inv.out.substr(0, inv.out.find('\n')),
            "valid times: 3: 2011-01-15T12:00Z, 2011-01-15T18:00Z and 2011-01-16T00:00Z");
  const shell_result refused = prepare(dir.path(), files);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("the files hold 3 valid times"), std::string::npos) << refused.err;

  const shell_result r = prepare(dir.path(), "--each-time -o 'gfs_%Y%m%d%H.bin' " + files);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(r.out.rfind("wrote gfs")),
            "wrote gfs_2011011600.bin: 144 x 73 points, 25 levels from 1000 to 10 hPa, valid at "
            "2011-01-16T00:00Z\nwrote InputModelInf.txt\n");
  for (const char* f : {"gfs_2011011512.bin", "gfs_2011011518.bin", "gfs_2011011600.bin"})
    EXPECT_TRUE(read_file(dir / f) == ref_) << f;
  EXPECT_EQ(read_file(dir / "InputModelInf.txt"), ref_config_);

  const shell_result one = prepare(dir.path(), "--time 2011011518 -o one.bin " + files);
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_TRUE(read_file(dir / "one.bin") == ref_);
  const shell_result none = prepare(dir.path(), "--time 2011-01-17T00 " + files);
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("--time 2011-01-17T00: no field is valid then; the files hold "),
            std::string::npos)
      << none.err;
}

// A day of three-hourly fields and more: every time of a long series is staged at once
// until all are written, so the number of temporaries is not bounded by a small table.
TEST_F(prepare_real, a_series_of_twenty_times_gives_twenty_files) {
  scratch_dir dir;
  ASSERT_EQ(shell(dir.path(), "for h in $(seq 120 3 177); do grib_set -s forecastTime=$h " +
                                  in("f120.grib2") + " f$h.grib2; done")
                .status,
            0);
  const shell_result r = prepare(dir.path(), "--each-time -o 'gfs_%d%H.bin' f1*.grib2");
  ASSERT_EQ(r.status, 0) << r.err;
  const shell_result listed =
      shell(dir.path(), "ls gfs_*.bin | wc -l; ls -A | grep -c '[.]bin[.]'");
  EXPECT_EQ(listed.out, "20\n0\n") << listed.err;
  for (const char* f : {"gfs_1512.bin", "gfs_1621.bin", "gfs_1721.bin"})
    EXPECT_TRUE(read_file(dir / f) == ref_) << f;
}

#ifdef BATCH_BIN
TEST_F(prepare_real, a_series_feeds_conv2model_batch) {
  scratch_dir dir;
  const std::string files = in("f120.grib2") + " " + in("f126.grib2");
  ASSERT_EQ(prepare(dir.path(), "--each-time -o 'gfs_%H.bin' " + files).status, 0);
  const shell_result r =
      shell(dir.path(), std::string("'") + BATCH_BIN + "' -j 2 gfs_12.bin gfs_18.bin");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("2 inputs: 2 converted"), std::string::npos) << r.out;
  EXPECT_TRUE(read_file(dir / "gfs_12.bin.ORUwrk") == read_file(dir / "gfs_18.bin.ORUwrk"));
}
#endif

// A run of 18 UTC giving the same valid time (grib_set dataTime, forecastTime), and
// ensemble members (grib_set productDefinitionTemplateNumber=1 on the upper-air fields).
TEST_F(prepare_real, two_runs_or_ensemble_members_for_one_time_are_refused_naming_both) {
  scratch_dir dir;
  ASSERT_EQ(
      shell(dir.path(),
            "grib_set -s dataTime=1800,forecastTime=114 " + in("f120.grib2") +
                " run18.grib2 && grib_copy -w typeOfLevel=isobaricInhPa " + in("f120.grib2") +
                " up.grib2 && grib_copy -w typeOfLevel!=isobaricInhPa " + in("f120.grib2") +
                " sfc.grib2 && for m in 3 4; do grib_set -s productDefinitionTemplateNumber=1,"
                "perturbationNumber=$m,numberOfForecastsInEnsemble=20 up.grib2 m$m.grib2; "
                "done")
          .status,
      0);
  const shell_result runs = prepare(dir.path(), in("f120.grib2") + " run18.grib2");
  EXPECT_EQ(runs.status, 1);
  EXPECT_NE(runs.err.find("two runs give fields valid at 2011-01-15T12:00Z: "), std::string::npos);
  EXPECT_NE(runs.err.find("from the run of 2011-01-10T12:00Z"), std::string::npos) << runs.err;
  EXPECT_NE(runs.err.find("from the run of 2011-01-10T18:00Z"), std::string::npos) << runs.err;

  const shell_result members = prepare(dir.path(), "m3.grib2 m4.grib2 sfc.grib2");
  EXPECT_EQ(members.status, 1);
  EXPECT_EQ(members.err,
            "conv2model-prepare: the files hold the ensemble members 3, 4; choose one with "
            "--member N\n");
  const shell_result four = prepare(dir.path(), "--member 4 -o m4.bin m3.grib2 m4.grib2 sfc.grib2");
  ASSERT_EQ(four.status, 0) << four.err;
  EXPECT_TRUE(read_file(dir / "m4.bin") == ref_);
  EXPECT_EQ(shell(dir.path(), "ls -A | grep -c bin").out, "1\n");
}

// A second valid time that holds one field (a message whose time is damaged; grib_set
// forecastTime=126 on the 500 hPa temperature): the inventory lists both times, the
// second with why it cannot be prepared and what it holds; a run names that message.
TEST_F(prepare_real, a_time_of_one_field_is_listed_by_the_inventory_and_named_by_the_refusal) {
  scratch_dir dir;
  ASSERT_EQ(
      shell(dir.path(), "grib_copy -w shortName=t,typeOfLevel=isobaricInhPa,level=500 " +
                            in("f120.grib2") +
                            " t500.grib2 && grib_set -s forecastTime=126 t500.grib2 odd.grib2")
          .status,
      0);
  const shell_result inv = prepare(dir.path(), "--inventory " + in("f120.grib2") + " odd.grib2");
  ASSERT_EQ(inv.status, 0) << inv.err;
  EXPECT_NE(inv.out.find("valid times: 2: 2011-01-15T12:00Z and 2011-01-15T18:00Z\n"),
            std::string::npos)
      << inv.out;
  EXPECT_NE(inv.out.find("ta 500 hPa    " + (*dir_ / "f120.grib2") + ": message "),
            std::string::npos);
  EXPECT_NE(inv.out.find("valid at 2011-01-15T18:00Z: cannot be prepared: no zonal wind (ua) on "
                         "pressure levels in the input\nfound: odd.grib2: message 1 (t, GRIB 2 "
                         "0/0/0, 500 hPa)\n"),
            std::string::npos)
      << inv.out;
  const shell_result r = prepare(dir.path(), in("f120.grib2") + " odd.grib2");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the files hold 2 valid times, 2011-01-15T12:00Z and 2011-01-15T18:00Z "
                       "(2011-01-15T18:00Z has only 1 field: odd.grib2: message 1 (t, GRIB 2 "
                       "0/0/0, 500 hPa)); choose one with --time T"),
            std::string::npos)
      << r.err;
}

// The GFS fields as NetCDF-4 (cdo -f nc4 copy) with byte 25458 set to 127 (found by
// setting every 211th byte in turn: with Debian 12's netCDF and HDF5, reading the header
// there dies of SIGSEGV inside libhdf5). Its inventory is read in a worker process: one
// line naming the file, status 1, nothing written.
TEST_F(prepare_real, a_damaged_netcdf4_file_ends_the_run_with_a_line_naming_it) {
  scratch_dir dir;
  ASSERT_EQ(shell(dir.path(), "cdo -s -f nc4 copy " + in("f120.grib2") +
                                  " gfs.nc && printf '\\177' | dd of=gfs.nc bs=1 seek=25458 "
                                  "conv=notrunc 2>/dev/null")
                .status,
            0);
  const shell_result r = prepare(dir.path(), "-o x.bin gfs.nc");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.err.rfind("conv2model-prepare: gfs.nc", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(shell(dir.path(), "ls -A").out, "gfs.nc\n");
}

// IFS ENS (centre 98, control forecast = member 0, perturbed 1 to 50) and GEFS's
// template 11: the upper-air fields relabelled with grib_set as the control (template 1,
// typeOfEnsembleForecast 1, perturbationNumber 0) and a perturbed member (template 11,
// typeOfEnsembleForecast 3, perturbationNumber 7), each chosen by --member.
TEST_F(prepare_real, ensembles_of_ifs_and_gefs_give_each_member_by_its_number) {
  scratch_dir dir;
  ASSERT_EQ(shell(dir.path(),
                  "grib_copy -w typeOfLevel=isobaricInhPa " + in("f120.grib2") +
                      " up.grib2 && grib_copy -w typeOfLevel!=isobaricInhPa " + in("f120.grib2") +
                      " sfc.grib2 && grib_set -s centre=98,productDefinitionTemplateNumber=1,"
                      "typeOfEnsembleForecast=1,perturbationNumber=0,"
                      "numberOfForecastsInEnsemble=51 up.grib2 cf.grib2 && "
                      "grib_set -s productDefinitionTemplateNumber=11,"
                      "typeOfEnsembleForecast=3,perturbationNumber=7,"
                      "numberOfForecastsInEnsemble=31 up.grib2 pf.grib2")
                .status,
            0);
  const shell_result both = prepare(dir.path(), "cf.grib2 pf.grib2 sfc.grib2");
  EXPECT_EQ(both.status, 1);
  EXPECT_EQ(both.err,
            "conv2model-prepare: the files hold the ensemble members 0, 7; choose one with "
            "--member N\n");
  for (const char* m : {"0", "7"}) {
    const shell_result r = prepare(dir.path(), std::string("--member ") + m + " -o m" + m +
                                                   ".bin cf.grib2 pf.grib2 sfc.grib2");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(read_file(dir / (std::string("m") + m + ".bin")) == ref_) << m;
  }
}

// Temperature at 850 hPa of 290 K and above made missing (cdo setrtomiss writes a GRIB
// bitmap), the land-sea mask's land made missing, and the top soil layer made missing
// everywhere: each refused naming field, level, count and first point.
TEST_F(prepare_real, holes_are_refused_naming_the_field_unless_allowed) {
  scratch_dir dir;
  ASSERT_EQ(
      shell(dir.path(), "grib_copy -w shortName=t,typeOfLevel=isobaricInhPa,level=850 " +
                            in("f120.grib2") +
                            " t850.grib2 && cdo -s -setrtomiss,290,1000 t850.grib2 t_hole.grib2 && "
                            "grib_copy -w shortName=lsm " +
                            in("f120.grib2") +
                            " lsm.grib2 && cdo -s -setrtomiss,0.5,2 lsm.grib2 lsm_hole.grib2 && "
                            "grib_copy -w shortName=t,typeOfLevel=depthBelowLandLayer,"
                            "scaledValueOfFirstFixedSurface=0 " +
                            in("f120.grib2") +
                            " st1.grib2 && cdo -s -setrtomiss,0,1000 st1.grib2 st1_hole.grib2 && "
                            "printf '%s\\n' "
                            "'if (!(shortName is \"t\" && typeOfLevel is \"isobaricInhPa\" && "
                            "level == 850)) { write \"rest_t_hole.grib2\"; }' "
                            "'if (!(shortName is \"lsm\")) { write \"rest_lsm_hole.grib2\"; }' "
                            "'if (!(shortName is \"t\" && typeOfLevel is \"depthBelowLandLayer\" "
                            "&& scaledValueOfFirstFixedSurface == 0)) { write "
                            "\"rest_st1_hole.grib2\"; }' > rest.rules && grib_filter rest.rules " +
                            in("f120.grib2"))
          .status,
      0);
  const struct {
    const char* file;
    const char* says;
  } cases[] = {
      {"t_hole.grib2",
       "t_hole.grib2: message 1 (t, GRIB 2 0/0/0, 850 hPa): ta 850 hPa has 1652 of 10512 "
       "points without data, the first at 42.5 S 295 E; refused (--allow-holes accepts them: "
       "conv2model writes -99999 there into the work file)\n"},
      {"lsm_hole.grib2",
       "sftlf has 3593 of 10512 points without data, the first at 90 S 0 E; "
       "refused (--allow-holes accepts them: conv2model makes them land)\n"},
      {"st1_hole.grib2",
       "tsl1 has 3593 of 10512 points without data over land, the first at 90 S 0 E; refused "
       "(--allow-holes accepts them: conv2model fills soil gaps along each row from the "
       "nearest soil values)\n"},
  };
  for (const auto& c : cases) {
    // The rest of the analysis without the field that has holes: one given twice with
    // other values would be refused before its holes are looked at.
    const shell_result r = prepare(dir.path(), std::string(c.file) + " rest_" + c.file);
    EXPECT_EQ(r.status, 1) << c.file;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
  const shell_result allowed =
      prepare(dir.path(), "--allow-holes -o holes.bin t_hole.grib2 rest_t_hole.grib2");
  ASSERT_EQ(allowed.status, 0) << allowed.err;
  EXPECT_NE(allowed.err.find("warning: t_hole.grib2: message 1"), std::string::npos);
  EXPECT_EQ(shell(dir.path(), "ls -A | grep -c bin").out, "1\n");
}

// Specific humidity instead of relative humidity: q made from GFS's r and t by a Magnus
// formula with CDO, written as 32-bit floats (cdo -b F32), r removed. The converter's
// q from the derived rh must be the producer's q, point by point.
TEST_F(prepare_real, specific_humidity_becomes_rh_that_converts_back_to_it) {
  scratch_dir dir;
  const std::string e = "(r/100*611.2*exp(17.67*(t-273.15)/(t-29.65)))";
  const shell_result made = shell(
      dir.path(),
      "grib_copy -w typeOfLevel=isobaricInhPa,shortName=t/r " + in("f120.grib2") +
          " tr.grib2 && lev=$(grib_get -w shortName=r,typeOfLevel=isobaricInhPa -p level tr.grib2 "
          "| sort -n | awk 'BEGIN{ORS=\"\"} {if (NR>1) print \",\"; print $1*100}') && "
          "cdo -s -b F32 -setparam,0.1.0 -chname,t,q -expr,'t=0.622*" +
          e + "/(clev(t)-0.378*" + e +
          ")' -sellevel,$lev tr.grib2 q.grib2 && grib_copy -w shortName!=r " + in("f120.grib2") +
          " no_r.grib2");
  ASSERT_EQ(made.status, 0) << made.err;
  const shell_result r = prepare(dir.path(), "-o q.bin q.grib2 no_r.grib2");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("note: relative humidity derived from specific humidity (q) on 25 levels "
                       "by inverting conv2model's own conversion; converted back it differs "
                       "from q by at most "),
            std::string::npos)
      << r.err;
  const run_result run = run_conv2model(dir.path(), "q.bin\nx\n");
  ASSERT_EQ(run.status, 0) << run.err;
  // The work file: 5 fields of 25 levels, bottom first, then 12 surface fields, each
  // 144 x 73 little-endian floats; the fourth field is q.
  const std::string work = read_file(dir / "q.bin.ORUwrk");
  ASSERT_EQ(work.size(), (5u * 25u + 12u) * 144u * 73u * 4u);
  const std::vector<int> levels = {1000, 975, 950, 925, 900, 850, 800, 750, 700, 650, 600, 550, 500,
                                   450,  400, 350, 300, 250, 200, 150, 100, 70,  50,  30,  10};
  for (const std::size_t l : {std::size_t{0}, std::size_t{5}, std::size_t{12}, std::size_t{22}}) {
    const point_values q = grib_points(dir / "q.grib2", "level=" + std::to_string(levels[l]));
    std::vector<float> got(144 * 73);
    std::memcpy(got.data(), work.data() + (3 * 25 + l) * got.size() * 4, got.size() * 4);
    double largest = 0;
    for (std::int32_t j = 0; j < 73; ++j)
      for (std::int32_t i = 0; i < 144; ++i) {
        const double want = q.at({-90000 + 2500 * j, 2500 * i});
        const float have = got[static_cast<std::size_t>(j * 144 + i)];
        if (want != 0) largest = std::max(largest, std::fabs(have - want) / std::fabs(want));
      }
    EXPECT_LE(largest, 2.5e-7) << levels[l] << " hPa";  // two units in the float's last place
  }
}

// NCEP's Eta analysis on its 93 x 65 Lambert grid, regridded as docs/prepare.md shows: grib_copy
// splits the u+v messages, CDO interpolates to a quarter-degree window inside the Lambert
// domain and turns the winds from the grid's axes to east and north. The land-sea mask
// comes from the GFS file regridded the same way (a field that does not change with time
// joins the Eta's time); the Eta file has no soil, which --allow-holes lets pass.
// The winds of eta.bin at named points of the quarter-degree window (from 110 W, 30 N)
// against ll.grb's grid-relative winds turned by the angle between the Lambert grid's
// axes and north there, which PROJ gives: the direction in which a step north moves in the
// projection's plane (Eta: Latin1 = Latin2 = 25, LoV 265, a sphere of 6371229 m).
void expect_winds_turned_by_the_projection(const std::string& dir, const input_fields& f,
                                           std::size_t im, std::size_t jm) {
  const std::pair<double, double> named[] = {
      {-110, 30}, {-95, 37.5}, {-80, 45}, {-102.5, 42.5}, {-85, 32}};
  std::string points;
  for (const auto& [lon, lat] : named)
    points += std::to_string(lon) + " " + std::to_string(lat) + "\n" + std::to_string(lon) + " " +
              std::to_string(lat + 1e-3) + "\n";
  write_text(dir + "/points.txt", points);
  const shell_result projected =
      shell(dir,
            "proj -f %.6f +proj=lcc +lat_1=25 +lat_2=25 +lat_0=25 +lon_0=-95 +R=6371229 "
            "points.txt");
  ASSERT_EQ(projected.status, 0) << projected.err;
  std::istringstream xy(projected.out);
  const std::size_t l850 = 3, l500 = 10;  // 1000 950 900 850 ... 500
  for (const auto& [lon, lat] : named) {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    ASSERT_TRUE(xy >> x0 >> y0 >> x1 >> y1) << projected.out;
    // North leans towards -x by the angle a east of LoV: u = cos a u' + sin a v'.
    const double a = std::atan2(-(x1 - x0), y1 - y0);
    EXPECT_NEAR(a * 180 / std::acos(-1.0), std::sin(25 * std::acos(-1.0) / 180) * (lon + 95), 1e-3);
    const std::size_t p =
        std::size_t(std::lround((lat - 30) * 4)) * im + std::size_t(std::lround((lon + 110) * 4));
    ASSERT_LT(p, im * jm);
    const std::pair<std::int64_t, std::int64_t> at{std::llround(lat * 1000),
                                                   std::llround((lon + 360) * 1000)};
    for (const std::size_t l : {l850, l500}) {
      const std::string level = l == l850 ? "850" : "500";
      const double ug = grib_points(dir + "/ll.grb", "shortName=u,level=" + level).at(at);
      const double vg = grib_points(dir + "/ll.grb", "shortName=v,level=" + level).at(at);
      const std::size_t k = l * im * jm + p;
      EXPECT_NEAR(f.upper[0][k], std::cos(a) * ug + std::sin(a) * vg, 0.02) << lon << " " << lat;
      EXPECT_NEAR(f.upper[1][k], std::cos(a) * vg - std::sin(a) * ug, 0.02) << lon << " " << lat;
    }
  }
}

TEST_F(prepare_real, a_lambert_grid_regridded_with_cdo) {
  scratch_dir dir;
  const shell_result refused = prepare(dir.path(), quoted(data_file("eta.grb")));
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("is on a Lambert conformal grid (lambert); conv2model-prepare reads "
                             "regular latitude/longitude grids only, or interpolates onto one "
                             "with --grid D (D degrees, such as --grid 0.25). Or regrid it first "
                             "with CDO, for example to a quarter-degree global grid: cdo "
                             "remapbil,r1440x721 in.grb out.grb"),
            std::string::npos)
      << refused.err;
  write_text(dir / "us.txt",
             "gridtype = lonlat\nxsize = 121\nysize = 61\nxfirst = -110\nxinc = 0.25\n"
             "yfirst = 30\nyinc = 0.25\n");
  // CDO's clon gives this window's longitudes as 250 to 280: LoV 265 in the same convention.
  const std::string turn = "_a=sin(25*0.017453292519943295)*(clon(u)-265)*0.017453292519943295";
  const shell_result made = shell(
      dir.path(),
      "grib_copy -w typeOfLevel=isobaricInhPa/surface/meanSea " + quoted(data_file("eta.grb")) +
          " split.grb && cdo -s remapbil,us.txt split.grb ll.grb && "
          "cdo -s -expr,'" +
          turn + ";u=cos(_a)*u+sin(_a)*v' ll.grb u.grb && cdo -s -expr,'" + turn +
          ";v=cos(_a)*v-sin(_a)*u' ll.grb v.grb && cdo -s delname,u,v ll.grb rest.grb "
          "&& grib_copy -w shortName=lsm " +
          in("f120.grib2") + " lsm.grib2 && cdo -s remapnn,us.txt lsm.grib2 lsm_us.grb");
  ASSERT_EQ(made.status, 0) << made.err;
  // Winds regridded but not turned keep the flag of the grid's axes: refused.
  const shell_result unturned = prepare(dir.path(), "--allow-holes ll.grb lsm_us.grb");
  EXPECT_EQ(unturned.status, 1);
  EXPECT_NE(unturned.err.find("along the grid's own axes (uvRelativeToGrid=1)"), std::string::npos)
      << unturned.err;

  const shell_result r =
      prepare(dir.path(), "--allow-holes -o eta.bin u.grb v.grb rest.grb lsm_us.grb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("no tsl1 (soil temperature layer 1)"), std::string::npos) << r.err;
  EXPECT_NE(read_file(dir / "InputModelInf.txt")
                .find("2004-12-09T12:00Z\n121 61 19\n0\n30000\n-110000\n45000\n-80000\n250\n250\n"),
            std::string::npos)
      << read_file(dir / "InputModelInf.txt");
  const input_fields f = read_input(dir / "eta.bin", 121, 61, 19);
  const point_values t500 = grib_points(dir / "rest.grb", "shortName=t,level=500");
  const point_values u500 = grib_points(dir / "u.grb", "level=500");
  const std::size_t n = 121 * 61, l500 = 10;  // 1000 950 ... 500: the eleventh level
  EXPECT_EQ(f.pr[l500], 500.0f);
  for (const std::size_t p : {std::size_t{0}, std::size_t{3000}, n - 1}) {
    const std::pair<std::int64_t, std::int64_t> at{30000 + 250 * std::int64_t(p / 121),
                                                   250000 + 250 * std::int64_t(p % 121)};
    // grib_get_data prints 13 significant digits: allow the float's last bit.
    for (const auto& [k, ref] : {std::pair{4, &t500}, std::pair{0, &u500}}) {
      const float have = f.upper[k][l500 * n + p], want = float(ref->at(at));
      EXPECT_TRUE(have == want || std::nextafter(have, want) == want) << k << " " << p;
    }
  }
  expect_winds_turned_by_the_projection(dir.path(), f, 121, 61);
  const run_result run = run_conv2model(dir.path(), "eta.bin\nx\n");
  EXPECT_EQ(run.status, 0) << run.err;
}

}  // namespace
}  // namespace c2m::test

#include "common/info_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "common/work_layout.hpp"
#include "tests/support/scratch.hpp"

namespace c2m {
namespace {

// The info files the worked conversions write (a case's own directory may hold an old,
// foreign one on purpose).
std::vector<std::string> golden_info_files() {
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::recursive_directory_iterator(GOLDEN_DIR))
    if (e.path().extension() == layout::info_suffix &&
        e.path().parent_path().filename() == "expected")
      found.push_back(e.path().string());
  return found;
}

std::string error_of(const std::string& text) {
  try {
    info_file::parse(text, "w.gdsinfo");
  } catch (const run_error& e) {
    return e.what();
  }
  return "no error";
}

// Every info file of the worked conversions reads, and writing what was read gives the
// same bytes again.
TEST(info_file, golden_files_read_and_write_back_the_same) {
  const std::vector<std::string> files = golden_info_files();
  ASSERT_GE(files.size(), 5u);
  for (const std::string& path : files) {
    const info_file::contents c = info_file::read(path);
    EXPECT_EQ(c.names_3d.size(), 5u) << path;
    EXPECT_EQ(c.names_2d.size(), 12u) << path;
    EXPECT_EQ(c.names_2d[0], "Land-sea mask             ( )") << path;
    std::vector<float> hpa;
    for (const float pa : c.pressure_pa) hpa.push_back(pa / 100.0f);
    EXPECT_EQ(info_file::text(c.lm, hpa, c.kgds), test::read_file(path)) << path;
  }
}

// A file cut at any line is refused with a diagnostic, never read as a smaller grid.
TEST(info_file, every_cut_file_is_refused) {
  const std::string whole = test::read_file(golden_info_files().front());
  for (std::size_t end = whole.find('\n'); end + 1 < whole.size(); end = whole.find('\n', end + 1))
    EXPECT_NE(error_of(whole.substr(0, end + 1)), "no error") << "cut after byte " << end + 1;
}

// Hostile counts and sizes: a clean error naming the file, before anything is sized.
TEST(info_file, hostile_headers_are_refused) {
  const std::string whole = test::read_file(golden_info_files().front());
  const std::string tail = whole.substr(whole.find('\n') + 1);
  EXPECT_EQ(error_of("  2000000000 => Number of Levels\n" + tail),
            "w.gdsinfo: ends before the 2000000000 pressures of its level count (not a "
            "conv2model info file?)");
  EXPECT_EQ(error_of("  -3 => Number of Levels\n" + tail),
            "w.gdsinfo: line 1: level count must be at least 1 (not a conv2model info file?)");
  EXPECT_EQ(error_of("  99999999999 => Number of Levels\n" + tail),
            "w.gdsinfo: line 1: expected an integer and \"=> Number of Levels\" (not a "
            "conv2model info file?)");
  EXPECT_EQ(error_of(std::string("\0\xff\n", 3)),
            "w.gdsinfo: line 1: expected an integer and \"=> Number of Levels\" (not a "
            "conv2model info file?)");
  EXPECT_EQ(error_of(""),
            "w.gdsinfo: ends before => Number of Levels (not a conv2model info file?)");
  std::string no_points = whole;
  const std::size_t at = no_points.find(" kgds(2)");
  const std::size_t from = no_points.rfind(' ', at - 1) + 1;
  no_points.erase(from, at - from);
  no_points.insert(from, 1, '0');
  EXPECT_NE(error_of(no_points).find("has no points"), std::string::npos) << error_of(no_points);
  std::string extra = whole + "  one more field\n";
  EXPECT_NE(error_of(extra).find("lists 5 3-D and 13 surface fields"), std::string::npos);
}

TEST(info_file, missing_file_is_named) {
  try {
    info_file::read("/nonexistent/x.gdsinfo");
    ADD_FAILURE() << "no error";
  } catch (const run_error& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/x.gdsinfo"), std::string::npos);
  }
}

}  // namespace
}  // namespace c2m

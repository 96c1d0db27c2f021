// The shared file helpers: the owning descriptor and the readers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "common/errors.hpp"
#include "common/file_io.hpp"
#include "common/unique_fd.hpp"
#include "tests/support/scratch.hpp"

namespace c2m {
namespace {

bool is_open(int fd) {
  return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

std::string error_of(const std::string& path, std::size_t limit_mib = 1) {
  try {
    read_small_file(path, "test file", limit_mib);
  } catch (const run_error& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(unique_fd, closes_once_on_every_path) {
  int raw = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(raw, 0);
  { const unique_fd fd(raw); }
  EXPECT_FALSE(is_open(raw));

  raw = ::open("/dev/null", O_RDONLY);
  unique_fd a(raw);
  unique_fd b(std::move(a));
  EXPECT_FALSE(a.is_open());
  EXPECT_EQ(b.get(), raw);
  a = std::move(b);
  EXPECT_TRUE(is_open(raw));
  EXPECT_EQ(a.close(), 0);
  EXPECT_FALSE(is_open(raw));
  EXPECT_EQ(a.close(), 0);  // nothing left to close

  try {
    const unique_fd fd(raw = ::open("/dev/null", O_RDONLY));
    throw run_error("left by an exception");
  } catch (const run_error&) {
  }
  EXPECT_FALSE(is_open(raw));
}

TEST(file_io, small_files_are_read_whole_and_refused_with_their_name) {
  test::scratch_dir dir;
  std::string text(200000, 'x');
  text += "end\n";
  test::write_text(dir / "big.txt", text);
  EXPECT_EQ(read_small_file(dir / "big.txt", "test file", 1), text);
  test::write_text(dir / "empty.txt", "");
  EXPECT_EQ(read_small_file(dir / "empty.txt", "test file", 1), "");

  EXPECT_EQ(error_of(dir / "none"),
            dir / "none" + ": cannot open test file: No such file or directory");
  EXPECT_EQ(error_of(dir.path()), dir.path() + ": is a directory, expected the test file");
  EXPECT_EQ(error_of("/dev/zero"), "/dev/zero: larger than 1 MiB, too large for the test file");
}

TEST(file_io, read_exactly_names_the_file_that_ends_early) {
  test::scratch_dir dir;
  test::write_text(dir / "six", "abcdef");
  const unique_fd fd(::open((dir / "six").c_str(), O_RDONLY));
  char buf[8] = {};
  read_exactly(fd.get(), "six", buf, 4, "record");
  EXPECT_EQ(std::string(buf, 4), "abcd");
  try {
    read_exactly(fd.get(), "six", buf, 4, "record");
    ADD_FAILURE() << "a short read went through";
  } catch (const run_error& e) {
    EXPECT_EQ(std::string(e.what()), "six: record ends after 2 of 4 bytes");
  }
  EXPECT_EQ(read_up_to(fd.get(), "six", buf, 4), 0u);
}

}  // namespace
}  // namespace c2m

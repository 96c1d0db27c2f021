// The GRIB framing scan on the real GFS file and on copies damaged in known places:
// each damage is named with the message and its byte offset before ecCodes sees it.
#include "companion/prepare/grib_reader.hpp"

#include <eccodes.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "companion/prepare/tests/prepare_case.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::test {
namespace {

using prepare::grib_file;

// The GFS file's first message is 16299 bytes long; the second follows it.
constexpr std::size_t second = 16299;

std::string gfs_bytes() {
  std::ifstream in(gfs_grib2(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The diagnostic the scan of these bytes gives, or "" when it accepts them.
std::string scan_error(const scratch_dir& dir, const std::string& bytes) {
  const std::string path = dir / "copy.grib2";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  try {
    grib_file f(path);
  } catch (const run_error& e) {
    return e.what();
  }
  return "";
}

TEST(grib_file, finds_every_field_where_grib_ls_does) {
  const grib_file f(gfs_grib2());
  scratch_dir dir;
  // grib_ls counts each field of a message that repeats sections 4 to 7.
  const shell_result ls = shell(dir.path(), "grib_ls -p offset:i " + quoted(gfs_grib2()));
  ASSERT_EQ(ls.status, 0);
  std::istringstream lines(ls.out);
  std::string line;
  std::getline(lines, line);  // the file name
  std::getline(lines, line);  // the column title
  std::size_t k = 0;
  for (; std::getline(lines, line) && line.find(" of ") == std::string::npos; ++k) {
    ASSERT_LT(k, f.fields().size());
    EXPECT_EQ(std::stoull(line), f.fields()[k].message.offset) << "field " << k + 1;
    EXPECT_EQ(f.fields()[k].number, std::int64_t(k + 1));
  }
  EXPECT_EQ(k, f.fields().size());
  EXPECT_EQ(k, 343u);
}

TEST(grib_file, names_a_file_cut_inside_a_message) {
  scratch_dir dir;
  const std::string bytes = gfs_bytes();
  const std::string path = dir / "copy.grib2";
  // Three bytes of "GRIB" do not tell a message; four do.
  for (const std::size_t cut : {second + 4, second + 15, second + 100, second + 7183 - 1})
    EXPECT_EQ(scan_error(dir, bytes.substr(0, cut)),
              path + ": the file ends inside message 2 (at byte 16299), cut short?")
        << cut;
  EXPECT_EQ(scan_error(dir, bytes.substr(0, second + 7183)), "");
}

TEST(grib_file, names_broken_framing) {
  scratch_dir dir;
  const std::string bytes = gfs_bytes();
  const std::string broken = dir / "copy.grib2" + ": message 2 (at byte 16299): broken framing: ";
  const auto with = [&](std::size_t at, char c) {
    std::string b = bytes;
    b[at] = c;
    return scan_error(dir, b);
  };
  // Section 1's length (bytes 16 to 19 of the message) made longer than the message.
  EXPECT_EQ(with(second + 17, 0x40).rfind(broken + "section 1 at byte 16315", 0), 0u);
  // Section 3 given the number 5.
  EXPECT_EQ(with(second + 16 + 21 + 4, 5), broken + "section 5 at byte 16336 follows section 1");
  // The total length one byte short, one byte long, and its "7777" damaged.
  EXPECT_EQ(with(second + 15, char(7183 % 256 - 1)),
            broken +
                "section 7 at byte 16497 (6981 bytes) runs past the message's end at byte "
                "23481");
  EXPECT_EQ(with(second + 15, char(7183 % 256 + 1)),
            broken + "its sections end at byte 23478, its length says 23479");
  EXPECT_EQ(with(second + 7183 - 1, 'x'), broken + "no \"7777\" at its end (byte 23478)");
}

TEST(grib_file, refuses_bytes_between_messages_but_zero_padding) {
  scratch_dir dir;
  const std::string bytes = gfs_bytes();
  EXPECT_EQ(scan_error(dir, bytes.substr(0, second) + "junk" + bytes.substr(second)),
            dir / "copy.grib2" +
                ": bytes 16299 to 16302 (after message 1) are not part of a GRIB message: "
                "damaged, or not GRIB data");
  EXPECT_EQ(scan_error(dir, "<html>" + bytes),
            dir / "copy.grib2" +
                ": bytes 0 to 5 (before the first message) are not part of a GRIB message: "
                "damaged, or not GRIB data");
  EXPECT_EQ(scan_error(dir, bytes.substr(0, second) + std::string(8, '\0') + bytes.substr(second) +
                                std::string(3, '\0')),
            "");
}

TEST(grib_file, gives_each_field_of_a_message_as_a_message_of_its_own) {
  const grib_file f(gfs_grib2());
  scratch_dir dir;
  // Fields 4 and 5 are u and v of one message: as messages of their own, ecCodes reads
  // them as it reads the fields of the whole message.
  ASSERT_EQ(f.fields()[3].message.offset, f.fields()[4].message.offset);
  for (const std::size_t k : {std::size_t{3}, std::size_t{4}}) {
    const std::vector<unsigned char> m = f.message(k);
    std::ofstream(dir / "one.grib2", std::ios::binary)
        .write(reinterpret_cast<const char*>(m.data()), std::streamsize(m.size()));
    const std::string keys = "-p shortName,level,max,min,average ";
    const shell_result one = shell(dir.path(), "grib_ls -m " + keys + "one.grib2");
    const shell_result whole =
        shell(dir.path(),
              "grib_ls " + keys + "-w count=" + std::to_string(k + 1) + " " + quoted(gfs_grib2()));
    ASSERT_EQ(one.status, 0);
    const auto row = [](const std::string& out) {
      std::istringstream s(out);
      std::string line;
      std::getline(s, line);
      std::getline(s, line);
      std::getline(s, line);
      return line;
    };
    EXPECT_EQ(row(one.out), row(whole.out));
    EXPECT_NE(row(one.out).find(k == 3 ? "u " : "v "), std::string::npos) << row(one.out);
  }
}

}  // namespace
}  // namespace c2m::test

namespace c2m::test {
namespace {

std::string key_text(codes_handle* h, const char* key) {
  char text[256] = "";
  std::size_t n = sizeof text;
  const int err = codes_get_string(h, key, text, &n);
  return err ? "error " + std::to_string(err) : std::string(text);
}

// The inventory reads the keys of a GRIB 2 field from its headers alone: every field of
// the real file, those of multi-field messages included, must give the keys its whole
// message gives.
TEST(grib_file, headers_are_the_message_up_to_its_data_and_give_the_same_keys) {
  const grib_file f(gfs_grib2());
  std::vector<unsigned char> head, whole;
  const char* keys[] = {"shortName",
                        "discipline",
                        "parameterCategory",
                        "parameterNumber",
                        "typeOfFirstFixedSurface",
                        "level",
                        "Ni",
                        "Nj",
                        "latitudeOfFirstGridPointInDegrees",
                        "longitudeOfLastGridPointInDegrees",
                        "validityDate",
                        "validityTime",
                        "numberOfValues"};
  for (std::size_t k = 0; k < f.fields().size(); ++k) {
    ASSERT_TRUE(f.headers(k, head));
    f.message(k, whole);
    ASSERT_LT(head.size(), whole.size());
    ASSERT_TRUE(std::equal(head.begin(), head.end(), whole.begin())) << "field " << k + 1;
    // Cut after section 7's length and number; the length runs to "7777".
    ASSERT_EQ(head.back(), 7) << "field " << k + 1;
    const unsigned char* length = head.data() + head.size() - 5;
    EXPECT_EQ(std::uint64_t(length[0]) << 24 | std::uint64_t(length[1]) << 16 |
                  std::uint64_t(length[2]) << 8 | length[3],
              whole.size() - (head.size() - 5) - 4)
        << "field " << k + 1;
    codes_handle* partial =
        codes_handle_new_from_partial_message(nullptr, head.data(), head.size());
    codes_handle* full = codes_handle_new_from_message(nullptr, whole.data(), whole.size());
    ASSERT_TRUE(partial && full);
    for (const char* key : keys)
      EXPECT_EQ(key_text(partial, key), key_text(full, key)) << "field " << k + 1 << " " << key;
    codes_handle_delete(partial);
    codes_handle_delete(full);
  }
}

// A GRIB 1 message of 19 MB, the GFS temperature at 500 hPa on a 0.1-degree global grid
// at 24 bits (cdo -f grb -b 24 remapnn,r3600x1801): too long for GRIB 1's 24-bit length,
// so ecCodes codes it ECMWF's way (units of 120 bytes). Framed as ecCodes frames it, and
// what the scan hands on decodes whole; a second message after it is found.
TEST(grib_reader, grib1_messages_longer_than_their_length_field_are_read) {
  scratch_dir dir;
  const shell_result made =
      shell(dir.path(), "grib_copy -w shortName=t,typeOfLevel=isobaricInhPa,level=500 " +
                            quoted(gfs_grib2()) +
                            " t.grib2 && cdo -s -f grb -b 24 remapnn,r3600x1801 t.grib2 big.grb "
                            "2>/dev/null && cat big.grb big.grb > two.grb && grib_get -p "
                            "totalLength big.grb");
  ASSERT_EQ(made.status, 0) << made.err;
  const std::uint64_t length = std::stoull(made.out);
  ASSERT_GT(length, std::uint64_t{1} << 24);
  const grib_file f(dir / "two.grb");
  ASSERT_EQ(f.fields().size(), 2u);
  EXPECT_EQ(f.fields()[0].message.length, length);
  EXPECT_EQ(f.fields()[1].message.offset, length);
  const std::vector<unsigned char> bytes = f.message(1);
  codes_handle* h = codes_handle_new_from_message(nullptr, bytes.data(), bytes.size());
  ASSERT_NE(h, nullptr);
  long points = 0;
  EXPECT_EQ(codes_get_long(h, "numberOfValues", &points), 0);
  EXPECT_EQ(points, 3600 * 1801);
  codes_handle_delete(h);
}

}  // namespace
}  // namespace c2m::test

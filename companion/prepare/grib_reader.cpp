#include "companion/prepare/grib_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "common/errors.hpp"

namespace c2m::prepare {

namespace {

constexpr std::uint64_t search_chunk = 1 << 16;

// Least lengths of the sections, below which a decoder would read past them.
constexpr std::array<std::uint64_t, 8> grib2_least = {16, 21, 5, 14, 9, 11, 6, 5};
constexpr std::uint64_t grib1_pds_least = 28, grib1_gds_least = 32, grib1_bms_least = 6,
                        grib1_bds_least = 11;
// Beyond any file; keeps offset arithmetic far from overflow.
constexpr std::uint64_t grib_most = std::uint64_t{1} << 48;

std::uint64_t big_endian(const unsigned char* p, int n) {
  std::uint64_t v = 0;
  for (int k = 0; k < n; ++k) v = v << 8 | p[k];
  return v;
}

// Up to n bytes at offset; fewer only where the file ends.
std::size_t read_at(int fd, const std::string& path, std::uint64_t offset, void* dest,
                    std::size_t n) {
  auto* p = static_cast<unsigned char*>(dest);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t r = ::pread(fd, p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) throw run_error(os_error(path, "cannot read"));
    if (r == 0) break;
    done += static_cast<std::size_t>(r);
  }
  return done;
}

// What lies between two messages: where the next one starts (the file's size when none
// does) and whether anything but zero padding came before it.
struct gap {
  std::uint64_t next = 0;
  bool only_zeros = true;
};

// A message starts with "GRIB" and, seven bytes on, the edition 1 or 2. "GRIB" with too
// few bytes after it to tell counts as a start, so that a file cut there is reported.
gap find_message(int fd, const std::string& path, std::uint64_t size, std::uint64_t from) {
  gap g{size, true};
  std::vector<unsigned char> buf(search_chunk + 7);
  for (std::uint64_t at = from; at < size; at += search_chunk) {
    const std::size_t got = read_at(fd, path, at, buf.data(), buf.size());
    for (std::size_t k = 0; k < got && k < search_chunk; ++k) {
      if (buf[k] == 'G' && k + 4 <= got && std::memcmp(&buf[k], "GRIB", 4) == 0 &&
          (k + 8 > got || buf[k + 7] == 1 || buf[k + 7] == 2)) {
        g.next = at + k;
        return g;
      }
      if (buf[k] != 0) g.only_zeros = false;
    }
  }
  return g;
}

// The framing walk of one message, with what its diagnostics need.
struct walk {
  int fd;
  const std::string& path;
  std::uint64_t size;   // of the file
  std::uint64_t start;  // of the message
  std::uint64_t end;    // what its length says
  std::int64_t number;  // of its first field

  [[noreturn]] void broken(const std::string& what) const {
    throw run_error(path + ": message " + std::to_string(number) + " (at byte " +
                    std::to_string(start) + "): broken framing: " + what);
  }
  [[noreturn]] void cut_short() const {
    throw run_error(path + ": the file ends inside message " + std::to_string(number) +
                    " (at byte " + std::to_string(start) + "), cut short?");
  }

  // n bytes at p, which must lie within the message and the file.
  void read(std::uint64_t p, unsigned char* dest, std::size_t n, const char* what) const {
    if (p + n > end)
      broken(std::string(what) + " at byte " + std::to_string(p) +
             " runs past the message's end at byte " + std::to_string(end));
    if (read_at(fd, path, p, dest, n) != n) cut_short();
  }

  // A section of `length` bytes at p, checked against the message and the file.
  void section(std::uint64_t p, std::uint64_t length, std::uint64_t least,
               const std::string& name) const {
    if (length < least)
      broken(name + " at byte " + std::to_string(p) + " is " + std::to_string(length) +
             " bytes long, less than its " + std::to_string(least));
    if (length > end - 4 - p)
      broken(name + " at byte " + std::to_string(p) + " (" + std::to_string(length) +
             " bytes) runs past the message's end at byte " + std::to_string(end));
    if (length > size - p) cut_short();
  }

  void check_end(std::uint64_t p) const {
    unsigned char tail[4];
    if (p + 4 != end)
      broken("its sections end at byte " + std::to_string(p) + ", its length says " +
             std::to_string(end - 4));
    read(p, tail, 4, "the end marker");
    if (std::memcmp(tail, "7777", 4) != 0)
      broken("no \"7777\" at its end (byte " + std::to_string(p) + ")");
  }
};

bool grib2_follows(int previous, int next) {
  switch (previous) {
    case 0:
      return next == 1;
    case 1:
      return next == 2 || next == 3;
    case 7:
      return next == 2 || next == 3 || next == 4;
    default:
      return next == previous + 1;
  }
}

// The sections of the field a GRIB 2 walk is at: a section not repeated for it is the
// one of the field before.
struct grib2_parts {
  byte_span s[8];    // by section number; s[2].length 0: no local section
  byte_span bitmap;  // the last section 6 that gives a bitmap, for those that reuse it
};

std::vector<grib_field_bytes> frame_grib2(walk& w, const unsigned char* head) {
  const std::uint64_t total = big_endian(head + 8, 8);
  if (total < 16 + 21 + 14 + 9 + 11 + 6 + 5 + 4 || total > grib_most)
    w.broken("its length says " + std::to_string(total) + " bytes");
  w.end = w.start + total;
  std::vector<grib_field_bytes> fields;
  grib2_parts parts;
  int previous = 0;
  std::uint64_t p = w.start + 16;
  for (;;) {
    unsigned char h[6];
    w.read(p, h, 4, "a section");
    if (previous == 7 && (p + 4 == w.end || std::memcmp(h, "7777", 4) == 0)) break;
    w.read(p, h, 6, "a section");
    const std::uint64_t length = big_endian(h, 4);
    const int number = h[4];
    if (number < 1 || number > 7 || !grib2_follows(previous, number))
      w.broken("section " + std::to_string(number) + " at byte " + std::to_string(p) +
               " follows section " + std::to_string(previous));
    const std::string name = "section " + std::to_string(number);
    w.section(p, length, grib2_least[static_cast<std::size_t>(number)], name);
    parts.s[number] = {p, length};
    // Indicator 254: the bitmap given before in this message applies; 255: none.
    if (number == 6 && h[5] == 254) {
      if (parts.bitmap.length == 0)
        w.broken("section 6 at byte " + std::to_string(p) +
                 " reuses an earlier bitmap, but none came before");
      parts.s[6] = parts.bitmap;
    } else if (number == 6 && h[5] != 255) {
      parts.bitmap = parts.s[6];
    }
    if (number == 7) {
      grib_field_bytes f;
      f.message = {w.start, 0};
      f.edition = 2;
      f.number = w.number + static_cast<std::int64_t>(fields.size());
      f.data_section = p;
      for (int k = 1; k <= 7; ++k)
        if (parts.s[k].length) f.sections.push_back(parts.s[k]);
      fields.push_back(std::move(f));
    }
    previous = number;
    p += length;
  }
  w.check_end(p);
  for (grib_field_bytes& f : fields) {
    f.message.length = w.end - w.start;
    if (fields.size() == 1) f.sections.clear();
  }
  return fields;
}

// ECMWF's coding of a GRIB 1 message longer than its 24-bit length can say: the length's
// top bit set, the rest counting units of 120 bytes, and section 4's length the padding
// left in the last unit (always under 120, which no real section 4 is).
constexpr std::uint64_t grib1_large_flag = 0x800000, grib1_large_unit = 120;

grib_field_bytes frame_grib1(walk& w, const unsigned char* head) {
  const std::uint64_t coded = big_endian(head + 4, 3);
  if (coded < 8 + grib1_pds_least + grib1_bds_least + 4)
    w.broken("its length says " + std::to_string(coded) + " bytes");
  const bool may_be_large = (coded & grib1_large_flag) != 0;
  // Until section 4 tells, the longest the coding may mean.
  w.end = w.start + (may_be_large ? (coded & ~grib1_large_flag) * grib1_large_unit + 4 : coded);
  std::uint64_t p = w.start + 8;
  unsigned char h[8];
  w.read(p, h, 8, "section 1");
  const int flags = h[7];
  const auto step = [&](std::uint64_t least, const char* name) {
    w.read(p, h, 3, name);
    const std::uint64_t length = big_endian(h, 3);
    w.section(p, length, least, name);
    p += length;
  };
  step(grib1_pds_least, "section 1");
  if (flags & 0x80) step(grib1_gds_least, "section 2");
  if (flags & 0x40) step(grib1_bms_least, "section 3");
  w.read(p, h, 3, "section 4");
  std::uint64_t data = big_endian(h, 3);
  if (may_be_large && data < grib1_large_unit) {
    w.end = w.start + (coded & ~grib1_large_flag) * grib1_large_unit - data + 4;
    if (w.end < p + 4 + grib1_bds_least)
      w.broken("its large-message length says " + std::to_string(w.end - w.start) + " bytes");
    data = w.end - 4 - p;
  } else {
    w.end = w.start + coded;
    if (w.end < p + 4)
      w.broken("its sections pass its length of " + std::to_string(coded) + " bytes");
  }
  w.section(p, data, grib1_bds_least, "section 4");
  p += data;
  w.check_end(p);
  grib_field_bytes f;
  f.message = {w.start, w.end - w.start};
  f.edition = 1;
  f.number = w.number;
  return f;
}

std::string bytes_text(std::uint64_t from, std::uint64_t to) {
  return "bytes " + std::to_string(from) + " to " + std::to_string(to - 1);
}

}  // namespace

grib_file::grib_file(std::string path) : path_(std::move(path)) {
  fd_ = unique_fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd_.is_open()) throw run_error(os_error(path_, "cannot open input file"));
  struct stat st {};
  if (::fstat(fd_.get(), &st) != 0) throw run_error(os_error(path_, "cannot examine input file"));
  if (!S_ISREG(st.st_mode)) throw run_error(path_ + ": not a regular file");
  size_ = static_cast<std::uint64_t>(st.st_size);

  std::uint64_t at = 0;
  for (;;) {
    const gap g = find_message(fd_.get(), path_, size_, at);
    if (!g.only_zeros && (g.next < size_ || !fields_.empty()))
      throw run_error(path_ + ": " + bytes_text(at, g.next) +
                      (fields_.empty()
                           ? std::string(" (before the first message)")
                           : " (after message " + std::to_string(fields_.back().number) + ")") +
                      " are not part of a GRIB message: damaged, or not GRIB data");
    if (g.next == size_) return;

    walk w{fd_.get(),
           path_,
           size_,
           g.next,
           g.next + grib_most,
           fields_.empty() ? 1 : fields_.back().number + 1};
    unsigned char head[16];
    w.read(w.start, head, 8, "section 0");
    if (head[7] == 1) {
      fields_.push_back(frame_grib1(w, head));
    } else {
      w.read(w.start, head, 16, "section 0");
      for (grib_field_bytes& f : frame_grib2(w, head)) fields_.push_back(std::move(f));
    }
    at = w.end;
  }
}

std::string grib_file::where(std::size_t k) const {
  const grib_field_bytes& f = fields_.at(k);
  return path_ + ": message " + std::to_string(f.number) + " (at byte " +
         std::to_string(f.message.offset) + ")";
}

std::vector<unsigned char> grib_file::message(std::size_t k) const {
  std::vector<unsigned char> m;
  message(k, m);
  return m;
}

void grib_file::message(std::size_t k, std::vector<unsigned char>& into) const {
  const grib_field_bytes& f = fields_.at(k);
  std::vector<unsigned char> whole;
  std::vector<unsigned char>& read = f.sections.empty() ? into : whole;
  read.resize(f.message.length);
  if (read_at(fd_.get(), path_, f.message.offset, read.data(), read.size()) != read.size())
    throw run_error(where(k) + ": the file has changed since it was scanned (now shorter)");
  if (std::memcmp(read.data(), "GRIB", 4) != 0 ||
      std::memcmp(read.data() + read.size() - 4, "7777", 4) != 0)
    throw run_error(where(k) + ": the file has changed since it was scanned");
  if (f.sections.empty()) return;

  // One field of several: section 0 with the new total length, its sections, "7777".
  std::uint64_t total = 16 + 4;
  for (const byte_span& s : f.sections) total += s.length;
  into.assign(whole.begin(), whole.begin() + 16);
  for (int b = 0; b < 8; ++b)
    into[static_cast<std::size_t>(15 - b)] = static_cast<unsigned char>(total >> (8 * b));
  for (const byte_span& s : f.sections) {
    const auto from = whole.begin() + static_cast<std::ptrdiff_t>(s.offset - f.message.offset);
    into.insert(into.end(), from, from + static_cast<std::ptrdiff_t>(s.length));
  }
  into.insert(into.end(), {'7', '7', '7', '7'});
}

bool grib_file::headers(std::size_t k, std::vector<unsigned char>& into) const {
  const grib_field_bytes& f = fields_.at(k);
  if (f.edition != 2) {
    message(k, into);
    return false;
  }
  constexpr std::uint64_t section_head = 5;  // its length and number
  if (f.sections.empty()) {
    into.resize(f.data_section + section_head - f.message.offset);
    if (read_at(fd_.get(), path_, f.message.offset, into.data(), into.size()) != into.size() ||
        std::memcmp(into.data(), "GRIB", 4) != 0 || into.back() != 7)
      throw run_error(where(k) + ": the file has changed since it was scanned");
    return true;
  }
  // One field of several: its own message as message() makes it, cut after the same.
  message(k, into);
  std::uint64_t cut = 16 + section_head;
  for (const byte_span& s : f.sections)
    if (s.offset != f.data_section) cut += s.length;
  into.resize(cut);
  return true;
}

}  // namespace c2m::prepare

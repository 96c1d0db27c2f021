#include "companion/prepare/netcdf_header.hpp"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "common/errors.hpp"

namespace c2m::prepare {

namespace {

// The tags of the header's three lists (0 for an absent list).
constexpr std::uint32_t tag_dimensions = 10, tag_variables = 11, tag_attributes = 12;

struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Reads the header's big-endian numbers, never past the end of the file.
class header_reader {
 public:
  header_reader(std::FILE* f, std::uint64_t size, const std::string& path, int version)
      : f_(f), left_(size), path_(path), version_(version) {}

  std::uint64_t u32(const char* what) { return number(4, what); }
  // A count: 8 bytes in CDF-5, else 4.
  std::uint64_t count(const char* what) { return number(version_ == 5 ? 8 : 4, what); }
  std::uint64_t offset(const char* what) { return number(version_ == 1 ? 4 : 8, what); }
  int version() const { return version_; }
  std::uint64_t left() const { return left_; }

  // A name; one longer than netCDF allows is skipped and shown by its length.
  std::string name() {
    const std::uint64_t n = count("name length");
    if (n > 256) {
      skip(n, 1, "bytes of a name");
      return "of a " + std::to_string(n) + "-byte name";
    }
    std::string text(n, '\0');
    if (n > left_ || std::fread(text.data(), 1, n, f_) != n) fail("bytes of a name", n);
    left_ -= n;
    advance((4 - n % 4) % 4, "bytes of a name", n);
    return text;
  }

  // Skips n items of `size` bytes, padded to 4 bytes.
  void skip(std::uint64_t n, std::uint64_t size, const char* what) {
    std::uint64_t bytes = 0;
    if (__builtin_mul_overflow(n, size, &bytes) || bytes > left_) fail(what, n);
    advance(bytes + (4 - bytes % 4) % 4, what, n);
  }

  [[noreturn]] void invalid(const std::string& what) const {
    throw run_error(path_ + ": not a valid netCDF file: " + what);
  }

  [[noreturn]] void fail(const char* what, std::uint64_t n) const {
    throw run_error(path_ + ": not a valid netCDF file: its header gives " + std::to_string(n) +
                    " " + what + ", more than the " + std::to_string(left_) +
                    " bytes left in the file hold");
  }

 private:
  void advance(std::uint64_t bytes, const char* what, std::uint64_t n) {
    if (bytes > left_ || std::fseek(f_, static_cast<long>(bytes), SEEK_CUR) != 0) fail(what, n);
    left_ -= bytes;
  }

  std::uint64_t number(std::size_t bytes, const char* what) {
    unsigned char b[8] = {};
    if (left_ < bytes || std::fread(b, 1, bytes, f_) != bytes)
      throw run_error(path_ + ": not a valid netCDF file: its header ends before the " + what);
    left_ -= bytes;
    std::uint64_t v = 0;
    for (std::size_t k = 0; k < bytes; ++k) v = v << 8 | b[k];
    return v;
  }

  std::FILE* f_;
  std::uint64_t left_;
  const std::string& path_;
  int version_;
};

std::uint64_t type_size(std::uint64_t type) {
  // NC_BYTE to NC_UINT64.
  constexpr std::uint64_t sizes[] = {0, 1, 1, 2, 4, 4, 8, 1, 2, 4, 8, 8};
  return type < std::size(sizes) ? sizes[type] : 0;
}

void skip_name(header_reader& h) {
  h.skip(h.count("name length"), 1, "bytes of a name");
}

// A list's tag and length; an absent list is two zeros.
std::uint64_t list_length(header_reader& h, std::uint32_t tag, const char* what) {
  const std::uint64_t t = h.u32(what);
  const std::uint64_t n = h.count(what);
  if (t != tag && !(t == 0 && n == 0))
    h.invalid(std::string("its header has no list of ") + what + " where one belongs");
  return n;
}

void skip_attributes(header_reader& h) {
  const std::uint64_t n = list_length(h, tag_attributes, "attributes");
  for (std::uint64_t a = 0; a < n; ++a) {
    skip_name(h);
    const std::uint64_t size = type_size(h.u32("attribute type"));
    const std::uint64_t values = h.count("attribute length");
    if (size == 0) h.fail("values of an attribute of no known type", values);
    h.skip(values, size, "attribute values");
  }
}

// A variable's data: where it starts and how many bytes it takes (in each record, for a
// variable along the record dimension).
struct variable {
  std::string name;
  bool record = false;
  std::uint64_t begin = 0, bytes = 0;
};

// The library sizes a variable by its type's size and divides by that product: a type
// it does not know, of size 0, crashed it (SIGFPE).
variable read_variable(header_reader& h, const std::vector<std::uint64_t>& dims) {
  variable v;
  v.name = h.name();
  const std::uint64_t n = h.count("dimension count"), id_size = h.version() == 5 ? 8 : 4;
  if (n > h.left() / id_size) h.fail("dimensions of a variable", n);
  bool overflow = false;
  v.bytes = 1;
  for (std::uint64_t k = 0; k < n; ++k) {
    const std::uint64_t id = h.count("dimensions of a variable");
    const std::uint64_t length = id < dims.size() ? dims[id] : 1;  // the library refuses it
    if (k == 0 && length == 0)
      v.record = true;
    else
      overflow |= __builtin_mul_overflow(v.bytes, length, &v.bytes);
  }
  skip_attributes(h);
  const std::uint64_t type = h.u32("variable type");
  if (type_size(type) == 0)
    h.invalid("variable " + v.name + " has type " + std::to_string(type) +
              ", not a classic netCDF type");
  overflow |= __builtin_mul_overflow(v.bytes, type_size(type), &v.bytes);
  h.count("variable size");
  v.begin = h.offset("variable offset");
  if (overflow) h.invalid("variable " + v.name + " is larger than a file can be");
  return v;
}

// Every variable's data ends within the file: a file cut short (a broken download) would
// be read as fill values beyond its end.
void check_extent(const header_reader& h, const std::vector<variable>& vars, std::uint64_t records,
                  std::uint64_t file_size) {
  std::uint64_t record_size = 0, record_vars = 0, one_record_var = 0;
  for (const variable& v : vars)
    if (v.record) record_size += (v.bytes + 3) / 4 * 4, ++record_vars, one_record_var = v.bytes;
  if (record_vars == 1) record_size = one_record_var;  // the format leaves it unpadded
  for (const variable& v : vars) {
    if (v.record && records == 0) continue;
    std::uint64_t end = 0;
    const bool overflow = v.record ? __builtin_mul_overflow(records - 1, record_size, &end) ||
                                         __builtin_add_overflow(end, v.begin + v.bytes, &end)
                                   : __builtin_add_overflow(v.begin, v.bytes, &end);
    if (overflow || end > file_size)
      h.invalid("the data of variable " + v.name + " would end at byte " +
                (overflow ? std::string("beyond 2^64") : std::to_string(end)) + ", the file has " +
                std::to_string(file_size) + " bytes: it is cut short");
  }
}

}  // namespace

void check_classic_header(const std::string& path) {
  const std::unique_ptr<std::FILE, file_closer> f(std::fopen(path.c_str(), "rb"));
  if (!f) throw run_error(os_error(path, "cannot open input file"));
  struct stat st {};
  unsigned char magic[4] = {};
  if (::fstat(::fileno(f.get()), &st) != 0 || std::fread(magic, 1, 4, f.get()) != 4 ||
      std::memcmp(magic, "CDF", 3) != 0 || (magic[3] != 1 && magic[3] != 2 && magic[3] != 5))
    return;
  header_reader h(f.get(), static_cast<std::uint64_t>(st.st_size) - 4, path, magic[3]);
  const std::uint64_t records = h.count("record count");
  std::vector<std::uint64_t> dims;
  const std::uint64_t n_dims = list_length(h, tag_dimensions, "dimensions");
  for (std::uint64_t d = 0; d < n_dims; ++d) {
    skip_name(h);
    dims.push_back(h.count("dimension length"));
  }
  skip_attributes(h);
  std::vector<variable> vars;
  const std::uint64_t n_vars = list_length(h, tag_variables, "variables");
  for (std::uint64_t v = 0; v < n_vars; ++v) vars.push_back(read_variable(h, dims));
  // A file still being written ("streaming") gives no record count; the library then
  // took 4294967295 records for one of a few kilobytes.
  if (records == (h.version() == 5 ? ~std::uint64_t{0} : 0xffffffffu))
    h.invalid("its header gives no record count, as while the file is being written");
  check_extent(h, vars, records, static_cast<std::uint64_t>(st.st_size));
}

}  // namespace c2m::prepare

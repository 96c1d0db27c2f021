// io_floor: the I/O that a conversion cannot avoid, and nothing else.
//   io_floor plain|huge|mapped INPUT OUTPUT
// Reads the input field file's framed records and writes the grid records (the five
// 3-D fields and the surface stack, leaving out the level count and the pressures) back
// to back into OUTPUT with one positioned write each: a file of the work file's size,
// written the way the converter writes it. OUTPUT is overwritten in place like the work
// file, not emptied first. The way the input reaches memory is the mode:
//   plain   each record's data read straight into its own freshly allocated buffer;
//   huge    the same reads into 2 MiB-aligned buffers advised for transparent huge
//           pages (on a kernel with them off these are plain pages again);
//   mapped  the whole file mapped and populated up front, 2 MiB-aligned so that the
//           page cache's large folios can be mapped whole; the records go to OUTPUT
//           straight from the mapping.
// One more mode is not a floor but the least work that any conversion must add to it,
// done the cheapest way we know, with the converter's own step procedures:
//   least   mapped like "mapped"; then level by level every value of the five 3-D
//           fields is read once (the search for the input fill value), the humidity is
//           derived from it into one level buffer, and each record is written while
//           it is still in the cache; the surface fields are copied, repaired and
//           written. It leaves out what a conversion must also do but seldom costs
//           (patching levels) and the order a conversion must keep (every step over
//           the whole grids before any output is opened), and needs
//           ./InputModelInf.txt for the grid's rows.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "common/constants.hpp"
#include "common/field_file.hpp"
#include "common/file_io.hpp"
#include "common/grid.hpp"
#include "conditioning/conditioning.hpp"
#include "driver/grid_config.hpp"
#include "output/output.hpp"
#include "thermo/humidity.hpp"
#include "thermo/module_estab.hpp"

namespace {

namespace ff = c2m::field_file;

// A record's place, from 0, among those read.
constexpr std::size_t at(ff::record r) {
  return static_cast<std::size_t>(r) - 1;
}

[[noreturn]] void fail(const std::string& file, const char* what) {
  std::fprintf(stderr, "io_floor: %s: %s: %s\n", file.c_str(), what, std::strerror(errno));
  std::exit(1);
}

bool read_full(int fd, const std::string& name, void* dest, std::size_t n) {
  return c2m::read_up_to(fd, name, dest, n) == n;
}

void write_full(int fd, const std::string& name, const char* p, std::size_t n,
                std::uint64_t offset) {
  c2m::write_at(fd, name, p, n, offset);
}

std::size_t whole_huge_pages(std::size_t n) {
  return (n + c2m::huge_page - 1) & ~(c2m::huge_page - 1);
}

// n bytes and more, up to whole 2 MiB, starting on a 2 MiB boundary.
char* aligned_reserve(std::size_t n) {
  return static_cast<char*>(c2m::reserve_aligned(whole_huge_pages(n)));
}

struct record {
  const char* data = nullptr;  // owned by the mode's storage
  std::uint32_t size = 0;
};

std::vector<record> read_records(int in, const std::string& input, bool huge,
                                 std::vector<std::unique_ptr<char[]>>& plain_store) {
  std::vector<record> records;
  std::uint32_t length = 0;
  while (read_full(in, input, &length, sizeof length)) {
    char* buffer = nullptr;
    if (huge) {
      buffer = aligned_reserve(length == 0 ? 1 : length);
      if (buffer == nullptr) fail(input, "cannot allocate");
      ::madvise(buffer, whole_huge_pages(length), MADV_HUGEPAGE);
    } else {
      plain_store.emplace_back(new char[length == 0 ? 1 : length]);  // not initialised
      buffer = plain_store.back().get();
    }
    std::uint32_t trailing = 0;
    if (!read_full(in, input, buffer, length) ||
        !read_full(in, input, &trailing, sizeof trailing) || trailing != length) {
      errno = EINVAL;
      fail(input, "malformed record");
    }
    records.push_back({buffer, length});
  }
  return records;
}

std::vector<record> map_records(int in, const std::string& input) {
  struct stat st {};
  if (::fstat(in, &st) != 0) fail(input, "cannot examine");
  const auto size = static_cast<std::size_t>(st.st_size);
  char* base = aligned_reserve(size);
  if (base == nullptr ||
      ::mmap(base, size, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, in, 0) == MAP_FAILED)
    fail(input, "cannot map");
  std::vector<record> records;
  for (std::size_t at = 0; at < size;) {
    const auto r = c2m::field_file::record_at({base, size}, at);
    if (!r) {
      errno = EINVAL;
      fail(input, "malformed record");
    }
    records.push_back({r->data(), static_cast<std::uint32_t>(r->size())});
    at += r->size() + 2 * c2m::field_file::marker_bytes;
  }
  return records;
}

// True when one of the n values is the input fill value: read-only, every value once.
bool holds_fill(const float* p, std::size_t n) {
  int found = 0;
  for (std::size_t k = 0; k < n; ++k) found |= p[k] == c2m::input_fill;
  return found != 0;
}

// A grid over values it does not own (a level of the mapping, read only).
c2m::grid level_view(const float* p, std::int32_t im, std::int32_t jm) {
  c2m::grid g;
  g.im = im;
  g.jm = jm;
  g.nl = 1;
  g.data = const_cast<float*>(p);
  return g;
}

void least_work(const std::vector<record>& records, const std::string& input, int out,
                const std::string& output) {
  c2m::run_state run;
  c2m::list_reader cfg = c2m::open_grid_config(c2m::grid_config_path);
  c2m::read_grid_description(cfg, run);
  const std::int32_t im = run.im, jm = run.jm;
  std::int32_t lm = 0;
  if (records[at(ff::record::level_count)].size < sizeof lm) {
    errno = EINVAL;
    fail(input, "no level count");
  }
  std::memcpy(&lm, records[at(ff::record::level_count)].data, sizeof lm);
  const std::size_t points = static_cast<std::size_t>(im) * static_cast<std::size_t>(jm);
  const std::size_t bytes = points * sizeof(float);
  for (std::size_t k = at(ff::record::uw); k <= at(ff::record::tp); ++k)
    if (lm < 1 || records[k].size < bytes * static_cast<std::size_t>(lm)) {
      errno = EINVAL;
      fail(input, "3-D records shorter than the grid");
    }
  if (records[at(ff::record::pressures)].size < sizeof(float) * static_cast<std::size_t>(lm) ||
      records[at(ff::record::surface)].size < bytes * c2m::nsfcfld) {
    errno = EINVAL;
    fail(input, "pressures or surface fields shorter than the grid");
  }
  c2m::estab::es_ini();
  const auto* pr = reinterpret_cast<const float*>(records[at(ff::record::pressures)].data);
  const auto level_of = [&](std::size_t k, std::int32_t l) {
    return reinterpret_cast<const float*>(records[k].data) +
           points * static_cast<std::size_t>(l - 1);
  };
  const auto record_at = [&](std::int32_t field, std::int32_t l) {  // field 0 = uw .. 4 = tp
    return (static_cast<std::uint64_t>(field) * static_cast<std::uint64_t>(lm) +
            static_cast<std::uint64_t>(l - 1)) *
           bytes;
  };
  c2m::grid own = c2m::make_grid(im, jm, 1);  // a level that a step must change
  c2m::grid tp_own = c2m::make_grid(im, jm, 1);
  // A level without fill values goes out as it is; one with them, through a fixed copy.
  const auto fixed = [&](const float* p, c2m::grid& copy) {
    if (!holds_fill(p, points)) return p;
    std::memcpy(copy.data, p, bytes);
    c2m::fill_to(copy.all(), c2m::missing_value);
    return static_cast<const float*>(copy.data);
  };
  for (std::int32_t l = 1; l <= lm; ++l) {
    for (std::int32_t field : {0, 1, 2})  // uw, vw, ht: records 2 to 4 of the input
      write_full(out, output,
                 reinterpret_cast<const char*>(
                     fixed(level_of(at(ff::record::uw) + static_cast<std::size_t>(field), l), own)),
                 bytes, record_at(field, l));
    const c2m::grid tp = level_view(fixed(level_of(at(ff::record::tp), l), tp_own), im, jm);
    std::memcpy(own.data, level_of(at(ff::record::rh), l), bytes);
    c2m::fill_to(own.all(), c2m::missing_value);
    own = c2m::rh_to_q(tp, {pr + (l - 1), 1}, std::move(own));
    write_full(out, output, reinterpret_cast<const char*>(own.data), bytes, record_at(3, l));
    write_full(out, output, reinterpret_cast<const char*>(tp.data), bytes, record_at(4, l));
  }
  c2m::grid slp = c2m::make_grid(im, jm, c2m::nsfcfld);
  std::memcpy(slp.data, records[at(ff::record::surface)].data, bytes * c2m::nsfcfld);
  c2m::mask_fix({slp.level(1), points});
  c2m::fill_to(slp.all(), 0.0f);
  c2m::soil_fix(slp);  // its lines go to standard output
  write_full(out, output, reinterpret_cast<const char*>(slp.data), bytes * c2m::nsfcfld,
             record_at(5, 1));
}

}  // namespace

int io_floor(int argc, char** argv) {
  const std::string mode = argc == 4 ? argv[1] : "";
  if (mode != "plain" && mode != "huge" && mode != "mapped" && mode != "least") {
    std::fprintf(stderr, "usage: io_floor plain|huge|mapped|least INPUT OUTPUT\n");
    return 2;
  }
  const std::string input = argv[2];
  const std::string output = argv[3];

  const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) fail(input, "cannot open");
  std::vector<std::unique_ptr<char[]>> plain_store;
  const std::vector<record> records = mode == "mapped" || mode == "least"
                                          ? map_records(in, input)
                                          : read_records(in, input, mode == "huge", plain_store);
  ::close(in);
  if (records.size() != ff::record_total) {
    errno = EINVAL;
    fail(input, "not an input field file of 8 records");
  }

  const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (out < 0) fail(output, "cannot open");
  if (mode == "least") {
    least_work(records, input, out, output);
    if (::close(out) != 0) fail(output, "cannot close");
    return 0;
  }
  std::uint64_t offset = 0;
  for (const ff::record r : {ff::record::uw, ff::record::vw, ff::record::ht, ff::record::rh,
                             ff::record::tp, ff::record::surface}) {
    const std::size_t k = at(r);
    write_full(out, output, records[k].data, records[k].size, offset);
    offset += records[k].size;
  }
  if (::close(out) != 0) fail(output, "cannot close");
  return 0;
}

int main(int argc, char** argv) {
  try {
    return io_floor(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "io_floor: %s\n", e.what());
    return 1;
  }
}

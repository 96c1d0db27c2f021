#include "driver/input_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/byte_order.hpp"
#include "common/constants.hpp"
#include "common/errors.hpp"
#include "common/field_file.hpp"
#include "common/file_io.hpp"
#include "common/line_layout.hpp"

namespace c2m {

namespace {

// Reads up to n bytes, as many as the file holds; returns the count read.
std::size_t read_full(record_reader& in, void* dest, std::size_t n) {
  const std::size_t done = read_up_to(in.fd.get(), in.name, dest, n);
  in.offset += static_cast<std::int64_t>(done);
  return done;
}

void skip_bytes(record_reader& in, std::int64_t n) {
  if (n == 0) return;
  if (::lseek(in.fd.get(), n, SEEK_CUR) >= 0) {
    in.offset += n;
    return;
  }
  if (errno != ESPIPE) throw run_error(os_error(in.name, "cannot seek"));
  std::vector<char> sink(65536);
  while (n > 0) {
    const std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(n, 65536));
    if (read_full(in, sink.data(), chunk) != chunk) return;  // the trailing length read reports it
    n -= static_cast<std::int64_t>(chunk);
  }
}

std::string record_label(int number, std::string_view what) {
  return "record " + std::to_string(number) + " (" + std::string(what) + ")";
}

// The two length markers that frame a record's data.
enum class marker { leading, trailing };

std::int32_t read_marker(record_reader& in, int number, std::string_view what, marker role) {
  unsigned char b[field_file::marker_bytes];
  const std::size_t got = read_full(in, b, sizeof b);
  if (got == 0 && role == marker::leading)
    throw run_error(in.name + ": end of file before " + record_label(number, what));
  if (got < sizeof b)
    throw run_error(in.name + ": " + record_label(number, what) + ": file ends inside its " +
                    (role == marker::leading ? "leading" : "trailing") + " length marker");
  const std::uint32_t u = load_le32(b);
  // The level count's record holds one 4-byte integer.
  if (number == 1 && role == marker::leading && byte_swap(u) == sizeof(std::int32_t))
    throw run_error(in.name +
                    ": the file is big-endian (its first length marker reads 4 byte-swapped); "
                    "conv2model reads little-endian records: convert the file or write it "
                    "little-endian");
  return static_cast<std::int32_t>(u);
}

}  // namespace

record_reader open_records(const std::string& name) {
  record_reader in;
  in.name = name;
  in.fd = unique_fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.fd.is_open())
    throw run_error(
        os_error(name.empty() ? "(empty input file name)" : name, "cannot open input file"));
  struct stat st {};
  if (::fstat(in.fd.get(), &st) != 0) throw run_error(os_error(name, "cannot examine input file"));
  if (S_ISDIR(st.st_mode)) throw run_error(name + ": is a directory, not an input field file");
  if (S_ISREG(st.st_mode)) in.size = st.st_size;
  return in;
}

namespace {

// Reads the leading marker of the next record and checks it against the need bytes
// the grid takes; returns the record's length.
std::int32_t begin_record(record_reader& in, std::size_t need, std::string_view what) {
  const int number = in.records + 1;
  const std::int32_t length = read_marker(in, number, what, marker::leading);
  if (length < 0)
    throw run_error(in.name + ": " + record_label(number, what) + " is corrupt: negative length " +
                    std::to_string(length));
  if (static_cast<std::uint64_t>(length) < need)
    throw run_error(in.name + ": " + record_label(number, what) + " is short: it holds " +
                    std::to_string(length) + " bytes, the grid needs " + std::to_string(need));
  if (in.size >= 0 && in.offset + length + std::int64_t{field_file::marker_bytes} > in.size)
    throw run_error(in.name + ": " + record_label(number, what) + " is cut: its length says " +
                    std::to_string(length) + " bytes, the file ends after " +
                    std::to_string(in.size - in.offset));
  return length;
}

// Reads need bytes of the record's data into dest.
void read_data(record_reader& in, void* dest, std::size_t need, std::string_view what) {
  if (read_full(in, dest, need) != need)
    throw run_error(in.name + ": " + record_label(in.records + 1, what) +
                    ": file ends inside its data");
}

// Skips the rest of a record of which need bytes have been taken, and checks its
// trailing marker.
void end_record(record_reader& in, std::int32_t length, std::size_t need, std::string_view what) {
  const int number = in.records + 1;
  skip_bytes(in, static_cast<std::int64_t>(length) - static_cast<std::int64_t>(need));
  const std::int32_t trailing = read_marker(in, number, what, marker::trailing);
  if (trailing != length)
    throw run_error(in.name + ": " + record_label(number, what) + " is corrupt: leading length " +
                    std::to_string(length) + " and trailing length " + std::to_string(trailing) +
                    " differ");
  in.records = number;
}

// Makes grid g a view of the next record when the file is mapped, else reads it.
void read_grid(record_reader& in, mapped_input& input, grid& g, std::string_view what) {
  const std::size_t need = g.size() * sizeof(float);
  const std::int32_t length = begin_record(in, need, what);
  if (view_grid(input, static_cast<std::uint64_t>(in.offset), g))
    skip_bytes(in, static_cast<std::int64_t>(need));
  else
    read_data(in, g.data, need, what);
  end_record(in, length, need, what);
}

}  // namespace

void read_record(record_reader& in, void* dest, std::size_t need, std::string_view what) {
  const std::int32_t length = begin_record(in, need, what);
  read_data(in, dest, need, what);
  end_record(in, length, need, what);
}

void read_input_file(run_state& run) {
  log_line({"OPEN FILE ", std::string_view(run.input_name)});
  record_reader in = open_records(run.input_name);
  using field_file::name_of, field_file::record;
  std::int32_t levels = 0;
  read_record(in, &levels, sizeof levels, name_of(record::level_count));
  if (levels != run.lm)
    throw run_error(in.name + ": record 1 gives " + std::to_string(levels) + " levels, but " +
                    run.config_name + " configures lm = " + std::to_string(run.lm));
  run.lm = levels;
  log_line({run.lm});

  // Winds, height and temperature are views of the mapped file where it can be mapped:
  // mostly no step changes them. Relative humidity and the surface fields are read into
  // the run's own memory: every value of rh and of the land-sea mask is rewritten.
  if (in.size > 0) run.input = map_input(in.name, in.fd.get(), static_cast<std::uint64_t>(in.size));
  read_grid(in, run.input, run.uw, name_of(record::uw));
  read_grid(in, run.input, run.vw, name_of(record::vw));
  read_grid(in, run.input, run.ht, name_of(record::ht));
  read_record(in, run.rh.data, run.rh.size() * sizeof(float), name_of(record::rh));
  read_grid(in, run.input, run.tp, name_of(record::tp));
  read_record(in, run.pr.data(), run.pr.size() * sizeof(float), name_of(record::pressures));
  std::vector<item> pressures(run.pr.begin(), run.pr.end());
  log_line(pressures);
  read_record(in, run.slp.data, run.slp.size() * sizeof(float), name_of(record::surface));
}

}  // namespace c2m

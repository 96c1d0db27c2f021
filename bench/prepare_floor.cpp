// The least work conv2model-prepare's GRIB side can do: ecCodes' own decode of the
// fields prepare reads, in one thread, and a write of the floats prepare writes for them
// (each field whole, in one system call):
//   prepare_floor GRIB_FILE OUTPUT [--record-fields N] FIELD...
// FIELD is a field's number as grib_ls counts it (prepare --inventory names them). With
// --record-fields, the floats are written N fields at a time, as prepare writes each
// record of the input field file whole: the same work but for the memory that takes.
#include <eccodes.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "prepare_floor: %s\n", what.c_str());
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) fail("usage: prepare_floor GRIB_FILE OUTPUT [--record-fields N] FIELD...");
  int first = 3;
  long per_write = 1;
  if (std::string(argv[3]) == "--record-fields" && argc > 5) {
    per_write = std::strtol(argv[4], nullptr, 10);
    first = 5;
  }
  if (per_write < 1) fail("--record-fields: not a count of fields");
  std::set<long> wanted;
  for (int k = first; k < argc; ++k) wanted.insert(std::strtol(argv[k], nullptr, 10));
  std::FILE* in = std::fopen(argv[1], "rb");
  if (!in) fail(std::string(argv[1]) + ": cannot open");
  const int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) fail(std::string(argv[2]) + ": cannot create");
  codes_grib_multi_support_on(nullptr);
  std::vector<double> values;
  std::vector<float> floats;
  int err = 0;
  long count = 0, pending = 0;
  const auto put = [&] {
    const std::size_t bytes = floats.size() * sizeof(float);
    if (::write(out, floats.data(), bytes) != static_cast<ssize_t>(bytes))
      fail(std::string(argv[2]) + ": cannot write");
    floats.clear();
    pending = 0;
  };
  while (codes_handle* h = codes_handle_new_from_file(nullptr, in, PRODUCT_GRIB, &err)) {
    if (wanted.count(++count)) {
      std::size_t n = 0;
      if (codes_get_size(h, "values", &n) != 0) fail("cannot size field " + std::to_string(count));
      values.resize(n);
      if (codes_get_double_array(h, "values", values.data(), &n) != 0)
        fail("cannot decode field " + std::to_string(count));
      floats.insert(floats.end(), values.begin(), values.end());
      if (++pending == per_write) put();
    }
    codes_handle_delete(h);
  }
  if (pending > 0) put();
  if (err != 0) fail(std::string(argv[1]) + ": " + codes_get_error_message(err));
  std::fclose(in);
  return ::close(out) == 0 ? 0 : 1;
}

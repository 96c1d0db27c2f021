// The converter's reader of the input field file (its layout: common/field_file.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/run_state.hpp"
#include "common/unique_fd.hpp"

namespace c2m {

// Reads framed records one after the other. Each record's data goes straight into the
// destination with one read; the unread rest of a longer record is skipped.
struct record_reader {
  unique_fd fd;
  std::string name;
  std::int64_t size = -1;  // file size when it is a regular file, else -1
  std::int64_t offset = 0;
  int records = 0;  // records read so far
};

record_reader open_records(const std::string& name);

// Reads the next record (number in.records + 1, called what in diagnostics) into dest,
// which takes need bytes; the record must hold at least that many.
void read_record(record_reader& in, void* dest, std::size_t need, std::string_view what);

// Reads the whole input field file into the run's grids, with its progress lines.
void read_input_file(run_state& run);

}  // namespace c2m

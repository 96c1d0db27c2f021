// The GRIB messages of a file, found and checked by their framing before ecCodes sees
// a byte of them. GRIB carries no checksum and files reach users cut short or damaged;
// ecCodes trusts the lengths it reads, so a message is handed to it only as a copy whose
// every section lies within the message and whose "7777" ends it.
//
// Fields are numbered as ecCodes' tools count them (grib_ls's count): a GRIB 2 message
// that repeats sections 4 to 7 (NCEP's u and v) holds one field per repetition, each
// handed to ecCodes as a single-field message of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/unique_fd.hpp"

namespace c2m::prepare {

// A run of bytes of the file.
struct byte_span {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// One field: the message it belongs to and, for a message of several fields, the
// sections that make it a message of its own.
struct grib_field_bytes {
  byte_span message;
  int edition = 2;
  std::int64_t number = 0;          // from 1, as grib_ls counts
  std::vector<byte_span> sections;  // empty: the message as it stands
  std::uint64_t data_section = 0;   // GRIB 2: where its section 7 starts in the file
};

class grib_file {
 public:
  // Opens and scans the file. Throws run_error naming the file, the message and its
  // byte offset when a message's framing is broken, the file ends inside a message, or
  // bytes other than zero padding lie outside the messages.
  explicit grib_file(std::string path);

  const std::string& path() const { return path_; }
  const std::vector<grib_field_bytes>& fields() const { return fields_; }

  // "FILE: message N (at byte B)", the start of a diagnostic about field k.
  std::string where(std::size_t k) const;

  // Field k as a whole single-field GRIB message, read now (with pread, so that any
  // process holding this object may call it). Throws run_error when the file no longer
  // holds the bytes the scan found.
  std::vector<unsigned char> message(std::size_t k) const;
  // The same into `into`, whose storage is reused from message to message.
  void message(std::size_t k, std::vector<unsigned char>& into) const;
  // For GRIB 2, the same without the data: up to section 7's length and number, all
  // ecCodes needs for a handle on the keys (codes_handle_new_from_partial_message);
  // for GRIB 1 the whole message. Returns whether the bytes are partial.
  bool headers(std::size_t k, std::vector<unsigned char>& into) const;

 private:
  std::string path_;
  unique_fd fd_;
  std::uint64_t size_ = 0;
  std::vector<grib_field_bytes> fields_;
};

}  // namespace c2m::prepare

// What conv2model-prepare reads from the keys of one GRIB message: the parameter, the
// level, the grid and the times. A key the message must have and has not (or that
// ecCodes cannot read) is an error naming the file, the message and the key; keys that
// may be absent are read as optional and say what their absence means.
#pragma once

#include <eccodes.h>

#include <optional>
#include <string>

#include "companion/prepare/field_table.hpp"
#include "companion/prepare/latlon_grid.hpp"

namespace c2m::prepare {

// One message's keys; `what` ("gfs.grib2: message 12") starts every diagnostic.
class grib_keys {
 public:
  grib_keys(codes_handle* h, std::string what) : h_(h), what_(std::move(what)) {}
  const std::string& what() const { return what_; }
  codes_handle* handle() const { return h_; }

  long need_long(const char* key) const;
  double need_double(const char* key) const;
  std::string need_string(const char* key) const;
  // Nothing when the message lacks the key or codes it as missing.
  std::optional<long> optional_long(const char* key) const;
  std::optional<std::string> optional_string(const char* key) const;

 private:
  [[noreturn]] void fail(const char* key, int err) const;
  codes_handle* h_;
  std::string what_;
};

struct level_info {
  level_kind kind = level_kind::other;
  double hpa = 0;               // isobaric
  double top = 0, bottom = 0;   // soil, metres
  bool bottom_missing = false;  // soil at one depth (a node), or a layer without its bottom
  bool depths_unknown = false;  // soil levels of a layering the table does not know
  std::string text;             // as the message gives it: "0.005 m below ground"
};

// The times of a message: when it is valid, the run it comes from, and the ensemble
// member, where the message names one.
struct message_time {
  std::string valid;      // "2011-01-15T12:00Z"
  std::string reference;  // the run: "2011-01-10T12:00Z"
  std::optional<long> member;
};

message_code decode_code(const grib_keys& k);
level_info decode_level(const grib_keys& k, long edition, long centre);
latlon_grid decode_grid(const grib_keys& k);
message_time decode_time(const grib_keys& k);

}  // namespace c2m::prepare

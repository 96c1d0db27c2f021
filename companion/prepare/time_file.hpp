// The input field file of one valid time, written record by record as the fields come
// in from the decoding processes, while they go on with the next ones.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "common/grid.hpp"
#include "companion/prepare/decode_workers.hpp"
#include "companion/prepare/kept_fields.hpp"
#include "companion/prepare/latlon_grid.hpp"
#include "companion/prepare/prepare.hpp"
#include "companion/prepare/selection.hpp"
#include "companion/prepare/shared_memory.hpp"
#include "companion/prepare/time_interpolation.hpp"

namespace c2m::prepare {

// Two buffers, each as large as the largest record, reused from record to record and
// from time to time: one record is written while the next one comes in. They are shared
// with the decoding processes, which place their fields straight into them. Made when
// first used.
class record_buffers {
 public:
  record_buffers(const window& w, std::int32_t lm);
  grid& operator[](std::size_t k);

 private:
  std::int32_t im_, jm_, nl_;
  std::unique_ptr<shared_memory> memory_[2];
  grid view_[2];
};

// Writes the file to `temp`, then checks what the fields held: a file that fails a
// check is never committed. Diagnostics name the file the user asked for, `name`.
// `between`: a time between `sel`'s and a later one, interpolated field by field;
// `keep`: fields kept from time to time.
void write_time_file(const selection& sel, const window& w, const std::string& temp,
                     const std::string& name, const options& opt, const decode_limits& limits,
                     record_buffers& buffers, std::ostream& warn, const blend* between = nullptr,
                     kept_fields* keep = nullptr);

}  // namespace c2m::prepare

// The values of the chosen fields, GRIB and NetCDF alike, read in worker processes: each
// placed once into its window and summarised there, handed to the parent as it comes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "companion/prepare/decode_workers.hpp"
#include "companion/prepare/kept_fields.hpp"
#include "companion/prepare/latlon_grid.hpp"
#include "companion/prepare/plausibility.hpp"
#include "companion/prepare/source_field.hpp"

namespace c2m::prepare {

// One field to read, where its window goes (memory shared with the decoding processes,
// shared_memory, which place it there), and where what it holds is told.
struct field_load {
  const source_field* field = nullptr;
  const window* cut = nullptr;
  float* out = nullptr;
  field_summary* summary = nullptr;
  // A time between two held ones: the same field at the later time, and the time's place
  // between them (time_interpolation).
  const source_field* later = nullptr;
  std::int64_t after = 0, span = 0;
  // Where the window values of `field` and of `later` are kept from time to time.
  kept_values keep{}, keep_later{};
  // Soil carried onto another grid (--grid): the land-sea mask, so that land takes land.
  const source_field* land = nullptr;
};

// Reads the loads, starting them in order as far as `ready` allows (all, without it),
// and calls `done(k)` in the parent as soon as load k is in place. Throws run_error at
// the first failure.
void read_fields(const std::vector<field_load>& loads, const decode_limits& limits,
                 bool allow_implausible, const worker_ready& ready = nullptr,
                 const std::function<void(std::size_t)>& done = nullptr);

}  // namespace c2m::prepare

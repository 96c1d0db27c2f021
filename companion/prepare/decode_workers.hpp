// Decoding in worker processes. ecCodes decodes bytes from outside that may be damaged
// or hostile, and a damaged message can make it read or write out of bounds, assert or
// loop. Each worker is a child process that is given several items ahead and decodes
// them one at a time in the order given, leaving each result in a shared slot of its own
// (or, opened for it, in shared_memory); the parent takes a result only from a worker
// that reported it whole. A worker that dies, asserts or runs out of time becomes the
// diagnostic "FILE: message N (at byte B): cannot be decoded: REASON", naming the item
// it was on, and ends the run. The workers also decode in parallel.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>

namespace c2m::prepare {

struct decode_limits {
  int workers = 1;      // processes at once
  double seconds = 60;  // for one item; a worker still busy then is killed
};

// The cores this process may run on.
int cores_available();

// In a worker: " (ecCodes: TEXT)" with the last error ecCodes reported for the item
// at hand, or nothing.
std::string decoder_said();

// In a worker: writes the result of one item into the slot and returns the bytes used.
// A run_error it throws is the item's diagnostic as it stands.
using worker_task = std::function<std::size_t(std::size_t item, std::span<unsigned char> slot)>;
// In the parent: takes one item's result (valid only during the call).
using worker_take = std::function<void(std::size_t item, std::span<const unsigned char> result)>;
// "FILE: message N (at byte B)": whose failure a diagnostic names.
using worker_where = std::function<std::string(std::size_t item)>;

// In the parent: whether item k may start now (where its result goes is free). Items
// start in order; one that may not waits until a result taken has made room for it.
using worker_ready = std::function<bool(std::size_t item)>;

// In the parent: what follows the taking of item k's result, once its worker has been
// given its next item, so that the worker goes on meanwhile.
using worker_done = std::function<void(std::size_t item)>;

// Runs task on items 0 to count - 1 in up to limits.workers worker processes, each
// with a slot of slot_bytes, and hands each result to take, in no set order. Throws
// run_error at the first failure, after every worker has been stopped.
void run_in_workers(std::size_t count, std::size_t slot_bytes, const decode_limits& limits,
                    const worker_task& task, const worker_take& take, const worker_where& where,
                    const worker_ready& ready = nullptr, const worker_done& done = nullptr);

}  // namespace c2m::prepare

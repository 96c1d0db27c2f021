// Memory the parent shares with the decoding processes it forks afterwards, so that a
// process places its field straight where the parent writes it from, with no copy.
// In a decoding process every such region is read-only but for the range a task opens
// for writing while it places its values: a fault in a decoder cannot write into the
// parent's records unseen. The parent takes nothing from a process that failed (the
// run ends, and nothing written is committed).
#pragma once

#include <cstddef>

namespace c2m::prepare {

class shared_memory {
 public:
  explicit shared_memory(std::size_t bytes);  // zero bytes: none
  ~shared_memory();
  shared_memory(const shared_memory&) = delete;
  shared_memory& operator=(const shared_memory&) = delete;

  float* floats() const { return static_cast<float*>(start_); }
  double* doubles() const { return static_cast<double*>(start_); }

  // Whether [p, p + bytes) lies within one region alive now.
  static bool holds(const void* p, std::size_t bytes);

  // In a decoding process, once, before any task: every region read-only.
  static void protect_all();

  // In a decoding process: [p, p + bytes) writable while it lives.
  class writable {
   public:
    writable(void* p, std::size_t bytes);
    ~writable();
    writable(const writable&) = delete;
    writable& operator=(const writable&) = delete;

   private:
    void* start_;
    std::size_t length_;
  };

 private:
  void* start_ = nullptr;
  std::size_t bytes_ = 0;
};

}  // namespace c2m::prepare

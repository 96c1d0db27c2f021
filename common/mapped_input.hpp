// The input field file mapped into memory, so that a grid that no step changes can be
// a view of the page cache instead of a copy of it: its records then go from the page
// cache to the work file without passing through memory of the run's own.
//
// The mapping is private and writable. A step that changes a value of a view changes
// the run's own copy of that 4 KiB page, never the file. It starts on a 2 MiB boundary
// so that the page cache's large folios are mapped whole, with one page fault each.
//
// A file cut short while it is mapped would end the run with SIGBUS at the first read
// of a page past its new end. While a mapping lives, a SIGBUS inside it puts zeros in
// place of the lost pages and is remembered; check_input_intact() turns that, or a
// file now shorter than the records taken from it, into a run_error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/grid.hpp"
#include "common/unique_fd.hpp"

namespace c2m {

struct mapped_input {
  std::string name;
  unique_fd fd;            // a duplicate, kept open to tell later whether the file was cut
  char* base = nullptr;    // null: the file is not mapped, grids are read
  std::size_t size = 0;    // bytes mapped: the file's size when it was mapped
  std::uint64_t used = 0;  // end of the last byte a view takes from the file

  mapped_input() = default;
  mapped_input(mapped_input&& other) noexcept;
  mapped_input& operator=(mapped_input&& other) noexcept;
  ~mapped_input();
};

// Maps the regular file open on fd (size bytes), or returns an unmapped input when it
// cannot be mapped (an empty file, a second mapping while one lives, a refusal of the
// system): the caller then reads. fd stays the caller's.
mapped_input map_input(const std::string& name, int fd, std::uint64_t size);

// Makes g a view of its g.size() floats at byte offset of the mapping and releases the
// grid's memory. Returns false, leaving g as it was, when the input is not mapped or
// the floats there are not aligned.
bool view_grid(mapped_input& input, std::uint64_t offset, grid& g);

// True when fd is open on the mapped input file itself (a work file that is a link to
// the input, say): writing it would change records the views have yet to give.
bool is_mapped_input(const mapped_input& input, int fd);

// Throws run_error when a view could not be read (the SIGBUS above) or the file is now
// shorter than the records the views took from it.
void check_input_intact(const mapped_input& input);

}  // namespace c2m

// The two outputs of a run: the model work file (fixed-length records, one horizontal
// grid each) and the grid description info file beside it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/run_state.hpp"
#include "common/unique_fd.hpp"
#include "common/work_layout.hpp"

namespace c2m {

// The work file's tag as the log writes it: its suffix without the dot, and one blank.
inline constexpr std::string_view work_tag = "ORUwrk ";
static_assert(work_tag.substr(0, work_tag.size() - 1) == layout::work_suffix.substr(1) &&
              work_tag.back() == ' ');

// Names the work file from the input name, prints the two naming lines and opens the
// file for writing by record without emptying it.
unique_fd open_work_file(run_state& run);

// Writes uw, vw, ht, qnew2 and tp level by level, then the twelve surface
// fields, each record at its byte offset; prints the surface sample and closes fd.
void write_work_file(const run_state& run, unique_fd fd);

// Fills kgds, prints it, and writes and closes the grid description info file.
void write_gds_info(run_state& run);

// The info file's text for a run whose kgds is filled.
std::string gds_info_text(const run_state& run);

// Writes all of data at offset, as one call where the system allows it.
void write_at(int fd, const std::string& name, const void* data, std::size_t size,
              std::uint64_t offset);

}  // namespace c2m

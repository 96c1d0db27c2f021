// Inventory entries handed from a decoding process to the parent through its slot: every
// member of a source_field but the file, which the parent knows.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "companion/prepare/source_field.hpp"

namespace c2m::prepare {

// Write one field, or all of a file's, into a slot; return the bytes used. Throw
// run_error when they do not fit.
std::size_t put_field(const source_field& s, std::span<unsigned char> slot);
std::size_t put_fields(const std::vector<source_field>& fields, std::span<unsigned char> slot);

// Read them back, with the file's path; run_error for bytes that are not such entries.
source_field take_field(std::span<const unsigned char> from, const std::string& path);
std::vector<source_field> take_fields(std::span<const unsigned char> from, const std::string& path);

}  // namespace c2m::prepare

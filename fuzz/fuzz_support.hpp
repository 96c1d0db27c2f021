// Shared pieces of the fuzz harnesses: a quiet progress log, a private scratch
// directory, and the entry point that every harness defines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace c2m::fuzz {

// Sends the progress log to /dev/null and fills the esat table, once per process.
void init_once();

// A directory of this process, made on first use and removed at exit.
const std::string& scratch();

// Replaces the file at path by the given bytes; aborts when it cannot.
void put_file(const std::string& path, const void* data, std::size_t size);

}  // namespace c2m::fuzz

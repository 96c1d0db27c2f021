// Plain reads and writes shared by the converter and its companions. Every diagnostic names the
// file; the OS's reason follows where the OS said no.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace c2m {

// Reads until n bytes are in dest or the file ends; returns the count read. A failed
// read throws run_error "NAME: cannot read: reason".
std::size_t read_up_to(int fd, const std::string& name, void* dest, std::size_t n);

// Reads exactly n bytes; a file that ends first throws run_error "NAME: WHAT ends
// after K of N bytes".
void read_exactly(int fd, const std::string& name, void* dest, std::size_t n,
                  std::string_view what);

// The whole of a small text file (a configuration or an info file). what names the
// kind of file in diagnostics; a directory, a file that cannot be opened or read, and
// one larger than limit_mib MiB (a device that never ends, say) are refused.
std::string read_small_file(const std::string& path, std::string_view what, std::size_t limit_mib);

// Writes bytes as the whole of the file at path, creating or emptying it. Diagnostics
// name `name` (the file the user asked for when path is a temporary): "cannot create
// output file" or "cannot write output file" with the OS's reason.
void write_new_file(const std::string& path, const std::string& name, std::string_view bytes);

}  // namespace c2m

// Short text forms of numbers for tables, messages and picture labels.
#pragma once

#include <string>

namespace c2m::companion {

// printf's %g with the given significant digits: "1000", "0.0123", "1.5e-05", "nan".
std::string short_number(double value, int digits = 6);

}  // namespace c2m::companion

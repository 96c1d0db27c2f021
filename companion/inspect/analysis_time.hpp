// The analysis time a user gives on the command line: the work file and its info file
// do not record it, but an export and a picture should say when they are valid.
#pragma once

#include <array>
#include <string>

namespace c2m::inspect {

// Year, month, day, hour, minute and second of the analysis (UTC).
using analysis_time = std::array<int, 6>;

// "2024-01-15T00:00", "2024-01-15 06", "2024-01-15" (T or a blank before the hour,
// seconds optional). Throws run_error for anything else or a date that does not exist.
analysis_time parse_analysis_time(const std::string& text);

// "2024-01-15 06:30" with separator " ", with ":00" seconds when seconds is true.
std::string time_text(const analysis_time& t, const char* separator, bool seconds);

}  // namespace c2m::inspect

#pragma once

#include <string>

namespace c2m {

// One conversion: reads ./InputModelInf.txt and the input field file named by line1,
// conditions the grids, derives the humidity and writes the work file and the info
// file, with the progress log on standard output. Throws run_error or data_stop.
void conv2model(const std::string& line1, const std::string& line2);

// The input file name from line 1: the text before its first blank. Names that would
// not fit the output names (more than 239 characters) are refused.
std::string input_file_name(const std::string& line1);

}  // namespace c2m

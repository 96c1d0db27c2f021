// What conv2model does with arguments. A conversion takes none: it reads its two lines
// from standard input. Arguments only ask for the help or the version.
#pragma once

namespace c2m {

// Answers a command line with at least one argument: the help for -h or --help, the
// version for --version, else a diagnostic naming the first other argument. Reads
// nothing and writes no file; returns the exit status.
int answer_arguments(int argc, char** argv);

// When standard input is a terminal, says on standard error what the run waits for.
void prompt_for_input();

}  // namespace c2m

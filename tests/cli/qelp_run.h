// Runs qelp as a user does, through the shell: standard output and standard error apart, the exit
// status as the shell sees it.
#pragma once

#include <string>

namespace cli_test {

struct ShellRun {
  int status = -1;   // the exit status, or -1 when the command did not exit normally
  std::string out;   // standard output
  std::string err;   // standard error
};

// The path of the built qelp, quoted for the shell.
std::string qelp();

// Runs a shell command line (pipes and redirections allowed, "{qelp}" stands for the program) with
// standard input from /dev/null unless the line says otherwise.
ShellRun shell(const std::string& line);

// Runs it on a terminal of `columns` columns (through script(1)): standard error and output both
// arrive in `out`, as the terminal shows them.
ShellRun on_terminal(const std::string& line, int columns = 80);

// As on_terminal, with `typed` typed on the terminal (answers to questions, one per line).
ShellRun on_terminal_with_input(const std::string& line, const std::string& typed, int columns = 80);

// Counts the 16-bit samples of a WAVE file's data at +-32767 or -32768.
size_t samples_at_full_scale(const std::string& wav);

}  // namespace cli_test

#include "qelp_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/paths.h"
#include "support/wave_reader.h"

namespace cli_test {

namespace {

// Where the captured streams go: a folder of this process's own, made once (the tests' scratch
// folders are emptied whenever a test asks for its own).
std::string capture_dir() {
  static const std::string dir = [] {
    const std::string d = std::string(QELP_BINARY_DIR) + "/test-scratch/cli-capture-" + std::to_string(getpid());
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string with_program(std::string line) {
  for (size_t at = line.find("{qelp}"); at != std::string::npos; at = line.find("{qelp}", at)) {
    line.replace(at, 6, qelp());
  }
  return line;
}

std::string quoted(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

int status_of(int raw) { return raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1; }

}  // namespace

std::string qelp() { return quoted(qelp_test::binary_path("bin/qelp")); }

ShellRun shell(const std::string& line) {
  const std::string out = capture_dir() + "/out";
  const std::string err = capture_dir() + "/err";
  const std::string command = "sh -c " + quoted(with_program(line)) + " >" + quoted(out) + " 2>" + quoted(err) +
                              " </dev/null";
  ShellRun r;
  r.status = status_of(std::system(command.c_str()));
  r.out = slurp(out);
  r.err = slurp(err);
  return r;
}

ShellRun on_terminal(const std::string& line, int columns) {
  const std::string out = capture_dir() + "/terminal";
  const std::string inner = "stty cols " + std::to_string(columns) + " rows 24; " + with_program(line);
  const std::string command = "script -qec " + quoted(inner) + " /dev/null >" + quoted(out) + " 2>&1 </dev/null";
  ShellRun r;
  r.status = status_of(std::system(command.c_str()));
  r.out = slurp(out);
  return r;
}

ShellRun on_terminal_with_input(const std::string& line, const std::string& typed, int columns) {
  const std::string out = capture_dir() + "/terminal";
  const std::string keys = capture_dir() + "/typed";
  std::ofstream(keys, std::ios::binary) << typed;
  const std::string inner = "stty cols " + std::to_string(columns) + " rows 24; " + with_program(line);
  const std::string command = "script -qec " + quoted(inner) + " /dev/null >" + quoted(out) + " 2>&1 <" + quoted(keys);
  ShellRun r;
  r.status = status_of(std::system(command.c_str()));
  r.out = slurp(out);
  return r;
}

size_t samples_at_full_scale(const std::string& wav) {
  const qelp_test::WaveFile w = qelp_test::read_wave(wav);
  size_t n = 0;
  for (int16_t s : w.samples16()) n += (s >= 32767 || s <= -32767) ? 1 : 0;
  return n;
}

}  // namespace cli_test

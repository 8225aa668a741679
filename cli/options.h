// A small reader of command-line options: short and long flags, values given as the next argument
// or as --name=value, and "--" to end the options.
#pragma once

#include <string>

class OptionReader {
 public:
  OptionReader(int argc, char** argv) : argc_(argc), argv_(argv) {}

  bool more() const { return index_ < argc_; }
  const char* current() const { return argv_[index_]; }

  // True (and consumes it) when the current argument is this flag.
  bool flag(const char* short_name, const char* long_name);

  // True (and consumes it with its value) when the current argument is this option. A missing
  // value is recorded in error() and consumes the option.
  bool value(const char* short_name, const char* long_name, std::string& out);

  // The current argument looks like an option (and options have not been ended by "--").
  bool unknown_option() const;

  // Consumes the current argument as a positional one.
  std::string take();

  const std::string& error() const { return error_; }

 private:
  int argc_;
  char** argv_;
  int index_ = 0;
  bool options_ended_ = false;
  std::string error_;
};

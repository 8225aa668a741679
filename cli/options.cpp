#include "options.h"

#include <cstring>

bool OptionReader::flag(const char* short_name, const char* long_name) {
  if (options_ended_ || !more()) return false;
  const char* arg = argv_[index_];
  if (std::strcmp(arg, short_name) == 0 || std::strcmp(arg, long_name) == 0) {
    ++index_;
    return true;
  }
  return false;
}

bool OptionReader::value(const char* short_name, const char* long_name, std::string& out) {
  if (options_ended_ || !more()) return false;
  const char* arg = argv_[index_];
  size_t long_length = std::strlen(long_name);
  if (std::strncmp(arg, long_name, long_length) == 0 && arg[long_length] == '=') {
    out = arg + long_length + 1;
    ++index_;
    return true;
  }
  if (std::strcmp(arg, short_name) != 0 && std::strcmp(arg, long_name) != 0) return false;
  ++index_;
  if (!more()) {
    error_ = std::string("option ") + arg + " needs a value";
    return true;
  }
  out = argv_[index_++];
  return true;
}

bool OptionReader::unknown_option() const {
  if (options_ended_ || !more()) return false;
  const char* arg = argv_[index_];
  return arg[0] == '-' && arg[1] != '\0' && std::strcmp(arg, "--") != 0;
}

std::string OptionReader::take() {
  if (!options_ended_ && std::strcmp(argv_[index_], "--") == 0) {
    options_ended_ = true;
    ++index_;
    return more() ? take() : std::string();
  }
  return argv_[index_++];
}

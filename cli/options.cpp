#include "options.h"

#include <cstdlib>
#include <cstring>

const OptionDef* OptionReader::find_short(char c) const {
  for (size_t i = 0; i < count_; ++i) {
    if (defs_[i].short_name != '\0' && defs_[i].short_name == c) return &defs_[i];
  }
  return nullptr;
}

const OptionDef* OptionReader::find_long(const std::string& name) const {
  for (size_t i = 0; i < count_; ++i) {
    if (defs_[i].long_name != nullptr && name == defs_[i].long_name) return &defs_[i];
  }
  return nullptr;
}

OptionReader::Item OptionReader::fail(const std::string& text) {
  error_ = text;
  stopped_ = true;
  Item item;
  item.kind = Kind::error;
  return item;
}

OptionReader::Item OptionReader::next() {
  Item item;
  if (stopped_) return error_.empty() ? item : fail(error_);
  if (cluster_ != 0) {
    // Inside "-abc": the next short option of the cluster.
    const char* arg = argv_[index_];
    const char c = arg[cluster_];
    const OptionDef* def = find_short(c);
    if (def == nullptr) return fail(std::string("unknown option '-") + c + "'");
    item.kind = Kind::option;
    item.id = def->id;
    ++cluster_;
    if (def->takes_value) {
      if (arg[cluster_] != '\0') {
        item.value = arg + cluster_;  // -fpcm24
        cluster_ = 0;
        ++index_;
        return item;
      }
      cluster_ = 0;
      ++index_;
      if (index_ >= argc_) return fail(std::string("option '-") + c + "' needs a value");
      item.value = argv_[index_++];
      return item;
    }
    if (arg[cluster_] == '\0') {
      cluster_ = 0;
      ++index_;
    }
    return item;
  }
  if (index_ >= argc_) {
    stopped_ = true;
    return item;
  }
  const char* arg = argv_[index_];
  if (options_ended_ || arg[0] != '-' || arg[1] == '\0') {
    item.kind = Kind::argument;
    item.value = argv_[index_++];
    return item;
  }
  if (std::strcmp(arg, "--") == 0) {
    options_ended_ = true;
    ++index_;
    return next();
  }
  if (arg[1] != '-') {
    cluster_ = 1;
    return next();
  }
  // --name or --name=value
  const char* equals = std::strchr(arg + 2, '=');
  const std::string name = equals != nullptr ? std::string(arg + 2, equals) : std::string(arg + 2);
  const OptionDef* def = find_long(name);
  if (def == nullptr) return fail("unknown option '--" + name + "'");
  ++index_;
  item.kind = Kind::option;
  item.id = def->id;
  if (!def->takes_value) {
    if (equals != nullptr) return fail("option '--" + name + "' takes no value");
    return item;
  }
  if (equals != nullptr) {
    item.value = equals + 1;
    return item;
  }
  if (index_ >= argc_) return fail("option '--" + name + "' needs a value");
  item.value = argv_[index_++];
  return item;
}

bool parse_amplify(const std::string& text, int* db) {
  if (text.empty() || text.size() > 3) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const int value = std::atoi(text.c_str());
  if (value != 0 && (value < kAmplifyMinDb || value > kAmplifyMaxDb)) return false;
  *db = value;
  return true;
}

std::string amplify_range_error(const std::string& text) {
  return "--amplify takes a whole number of dB from " + std::to_string(kAmplifyMinDb) + " to " +
         std::to_string(kAmplifyMaxDb) + " (0: normalize to the peak), not '" + text + "'";
}

bool parse_track(const std::string& text, int* track) {
  if (text.empty() || text.size() > 4) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const int value = std::atoi(text.c_str());
  if (value < 1) return false;
  *track = value;
  return true;
}

std::string track_error(const std::string& text) {
  return "--track takes a track number from 1 up, as 'qelp info' lists them, not '" + text + "'";
}

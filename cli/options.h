// The option reader every qelp command uses, in the manner of getopt_long: short options alone or
// combined (-yq), a short option's value attached or in the next argument (-fpcm24, -f pcm24),
// long options with their value after '=' or in the next argument (--format=pcm24, --format
// pcm24), "--" to end the options, and "-" as an argument (standard input or output).
#pragma once

#include <cstddef>
#include <string>

struct OptionDef {
  char short_name;        // '\0': none
  const char* long_name;  // without the dashes; nullptr: none
  bool takes_value;
  int id;                 // what next() reports for it
};

class OptionReader {
 public:
  OptionReader(int argc, char** argv, const OptionDef* defs, size_t count)
      : argc_(argc), argv_(argv), defs_(defs), count_(count) {}

  enum class Kind { option, argument, end, error };
  struct Item {
    Kind kind = Kind::end;
    int id = 0;          // the option's id
    std::string value;   // the option's value, or the argument
  };

  // The next option or argument; Kind::error with error() set for an unknown option, a value
  // missing or given to an option that takes none. After an error or the end, next() stays there.
  Item next();

  // What was wrong, naming the option: "unknown option '--bogus'".
  const std::string& error() const { return error_; }

 private:
  const OptionDef* find_short(char c) const;
  const OptionDef* find_long(const std::string& name) const;
  Item fail(const std::string& text);

  int argc_;
  char** argv_;
  const OptionDef* defs_;
  size_t count_;
  int index_ = 0;
  size_t cluster_ = 0;  // position inside a cluster of short options (0: none in progress)
  bool options_ended_ = false;
  bool stopped_ = false;
  std::string error_;
};

// The amplification of convert and normalize: a whole number of dB from kAmplifyMinDb to
// kAmplifyMaxDb, or 0 for peak normalization. False for anything else.
constexpr int kAmplifyMinDb = 5;
constexpr int kAmplifyMaxDb = 50;
bool parse_amplify(const std::string& text, int* db);

// The one line a bad --amplify value gets (without "qelp: ").
std::string amplify_range_error(const std::string& text);

// --track N: the audio track, counted from 1 as qelp info lists them. False for anything else.
bool parse_track(const std::string& text, int* track);

// The one line a bad --track value gets (without "qelp: ").
std::string track_error(const std::string& text);

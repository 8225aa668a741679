// qelp's voice: every message is one line on standard error that starts with "qelp: " and says
// what failed, the file, and what to do. Results (summaries) go to standard output, or to standard
// error while the standard output carries audio.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

// "qelp: " and the text, as one line on standard error.
void say(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A failure the engine described (its texts are sentences: "Cannot open a.ac3: ..."), said in
// qelp's voice: the first word in lower case, unless the text begins with one of the names given
// (a file name keeps its spelling).
void say_failure(const std::string& text, std::initializer_list<std::string> names = {});

// The text with its first word in lower case when that word is a capitalised word of letters
// ("Cannot" -> "cannot"; "AC-3", "MPEG" and "Music.ac3" stay) and the text does not begin with one
// of the names.
std::string in_our_voice(const std::string& text, std::initializer_list<std::string> names = {});

// A usage error: "qelp: WHAT; see 'qelp COMMAND --help'". Returns 2, the exit status for it.
int usage_error(const char* command, const std::string& what);

// Where results go: standard output, unless it carries audio (set_audio_on_stdout).
std::FILE* result_stream();
void set_audio_on_stdout(bool on);

// A line of a result ("a.ac3 -> a.wav: ..."), on result_stream().
void tell(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A line on standard error as it is, without "qelp: " (what -v says about a stream).
void note(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One line said while messages were held, and where it goes.
struct HeldLine {
  bool result;       // true: result_stream(); false: standard error
  std::string text;  // with its line ending
};

// While one lives, what say, tell and note write on this thread goes into `lines` instead, to be
// printed later with print_held: files converted side by side keep their messages apart and in
// input order that way.
class MessageHold {
 public:
  explicit MessageHold(std::vector<HeldLine>* lines);
  ~MessageHold();
  MessageHold(const MessageHold&) = delete;
  MessageHold& operator=(const MessageHold&) = delete;

 private:
  std::vector<HeldLine>* previous_;
};

// Messages are held on this thread (a MessageHold lives).
bool messages_held();

// Prints held lines where they go, in their order.
void print_held(const std::vector<HeldLine>& lines);

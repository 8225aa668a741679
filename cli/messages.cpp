#include "messages.h"

#include <cstdarg>
#include <cstdio>

namespace {

bool g_audio_on_stdout = false;

// Where this thread's messages are held, when they are.
thread_local std::vector<HeldLine>* t_held = nullptr;

void put_line(bool result, const std::string& text) {
  if (t_held != nullptr) {
    t_held->push_back({result, text});
    return;
  }
  std::FILE* to = result ? result_stream() : stderr;
  std::fputs(text.c_str(), to);
  if (result) std::fflush(to);
}

std::string formatted(const char* format, va_list args) {
  char text[2048];
  std::vsnprintf(text, sizeof text, format, args);
  return text;
}

}  // namespace

void say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = formatted(format, args);
  va_end(args);
  put_line(false, "qelp: " + text + "\n");
}

void tell(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = formatted(format, args);
  va_end(args);
  put_line(true, text + "\n");
}

void note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = formatted(format, args);
  va_end(args);
  put_line(false, text + "\n");
}

MessageHold::MessageHold(std::vector<HeldLine>* lines) : previous_(t_held) { t_held = lines; }

MessageHold::~MessageHold() { t_held = previous_; }

bool messages_held() { return t_held != nullptr; }

void print_held(const std::vector<HeldLine>& lines) {
  for (const HeldLine& line : lines) {
    std::FILE* to = line.result ? result_stream() : stderr;
    std::fputs(line.text.c_str(), to);
    std::fflush(to);
  }
}

std::string in_our_voice(const std::string& text, std::initializer_list<std::string> names) {
  for (const std::string& name : names) {
    if (!name.empty() && text.compare(0, name.size(), name) == 0) return text;
  }
  size_t end = 0;
  while (end < text.size() && text[end] != ' ' && text[end] != ':') ++end;
  if (end < 2 || !(text[0] >= 'A' && text[0] <= 'Z')) return text;
  for (size_t i = 1; i < end; ++i) {
    if (!(text[i] >= 'a' && text[i] <= 'z')) return text;
  }
  std::string voiced = text;
  voiced[0] = static_cast<char>(voiced[0] - 'A' + 'a');
  return voiced;
}

void say_failure(const std::string& text, std::initializer_list<std::string> names) {
  say("%s", in_our_voice(text, names).c_str());
}

int usage_error(const char* command, const std::string& what) {
  if (command == nullptr || command[0] == '\0') {
    say("%s; see 'qelp --help'", what.c_str());
  } else {
    say("%s; see 'qelp %s --help'", what.c_str(), command);
  }
  return 2;
}

std::FILE* result_stream() { return g_audio_on_stdout ? stderr : stdout; }

void set_audio_on_stdout(bool on) { g_audio_on_stdout = on; }

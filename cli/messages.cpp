#include "messages.h"

#include <cstdarg>

namespace {

bool g_audio_on_stdout = false;

}  // namespace

void say(const char* format, ...) {
  char text[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::fprintf(stderr, "qelp: %s\n", text);
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

// Placeholder until the codec manager offers its formats: only 16-bit PCM.
#include "format_option.h"

#include <cstdio>
#include <cstring>

int format_option_install(const char* value) {
  if (std::strcmp(value, "pcm16") == 0) return 0;
  std::fprintf(stderr, "qelp: unknown output format '%s' (see 'qelp formats')\n", value);
  return 2;
}

bool format_option_is_pcm(const char* value) { return std::strncmp(value, "pcm", 3) == 0; }

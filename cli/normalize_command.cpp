// Placeholder until the normalizer is built.
#include <cstdio>

#include "commands.h"

int command_normalize(int, char**) {
  std::fprintf(stderr, "qelp normalize: not available in this build\n");
  return 2;
}

int normalize_file(CQelpsnd&, const char* path, int, bool) {
  std::fprintf(stderr, "qelp: cannot normalize %s: not available in this build\n", path);
  return 2;
}

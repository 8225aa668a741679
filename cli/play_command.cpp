// Placeholder until the preview player is built.
#include <cstdio>

#include "commands.h"

int command_play(int, char**) {
  std::fprintf(stderr, "qelp play: not available in this build\n");
  return 2;
}

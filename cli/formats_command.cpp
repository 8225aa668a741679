// Placeholder until the codec manager lists its formats.
#include <cstdio>

#include "commands.h"

int command_formats(int, char**) {
  std::printf("PCM 16-bit stereo\n");
  return 0;
}

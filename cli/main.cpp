// qelp: the command-line client of the conversion engine.
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace {

void usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: qelp COMMAND [OPTIONS] ...\n"
               "\n"
               "Commands:\n"
               "  convert IN... [OUT]   convert AC-3 files to stereo WAVE files\n"
               "  info IN...            show what an AC-3 file holds\n"
               "  formats               list the output formats that can be chosen\n"
               "  normalize FILE        normalize a 16-bit or 8-bit PCM WAVE file in place\n"
               "  play IN               play an AC-3 file on the sound device\n"
               "\n"
               "Run 'qelp COMMAND --help' for the options of a command.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage(stderr);
    return 2;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "-h") == 0 || std::strcmp(command, "--help") == 0 || std::strcmp(command, "help") == 0) {
    usage(stdout);
    return 0;
  }
  struct Entry {
    const char* name;
    int (*run)(int, char**);
  };
  static const Entry kCommands[] = {
      {"convert", command_convert}, {"info", command_info},   {"formats", command_formats},
      {"normalize", command_normalize}, {"play", command_play},
  };
  for (const Entry& e : kCommands) {
    if (std::strcmp(command, e.name) == 0) return e.run(argc - 2, argv + 2);
  }
  std::fprintf(stderr, "qelp: unknown command '%s'\n", command);
  usage(stderr);
  return 2;
}

// qelp: the command-line client of the conversion engine.
#include <cstdio>
#include <cstring>

#include "../platform/msacm/msacm.h"
#include "commands.h"
#include "messages.h"
#include "qelpsnd.h"

namespace {

void usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: qelp COMMAND [OPTIONS] ...\n"
               "\n"
               "Commands:\n"
               "  convert IN... [OUT]   convert AC-3 streams to stereo WAVE files ('-': standard input/output)\n"
               "  info IN...            show what an AC-3 file holds\n"
               "  formats [IN]          list the output formats that can be chosen\n"
               "  normalize FILE        normalize a 16-bit or 8-bit PCM WAVE file in place\n"
               "  play IN               play an AC-3 file on the sound device\n"
               "  help COMMAND          show the options of a command\n"
               "\n"
               "  -h, --help            show this help\n"
               "      --version         show the versions of qelp, its library and its modules\n"
               "\n"
               "Run 'qelp COMMAND --help' for the options of a command.\n");
}

struct Entry {
  const char* name;
  int (*run)(int, char**);
  void (*help)(std::FILE*);
};

constexpr Entry kCommands[] = {
    {"convert", command_convert, convert_usage},       {"info", command_info, info_usage},
    {"formats", command_formats, formats_usage},       {"normalize", command_normalize, normalize_usage},
    {"play", command_play, play_usage},
};

const Entry* find_command(const char* name) {
  for (const Entry& e : kCommands) {
    if (std::strcmp(name, e.name) == 0) return &e;
  }
  return nullptr;
}

}  // namespace

int print_version() {
  std::printf("qelp %s\n", QELP_VERSION);
  std::printf("libqelpsnd %s\n", qelpsnd_version());
  if (acmCodecModuleLoad() != 0) {
    std::printf("codec module: %s\n", acmCodecModuleDescription());
  } else {
    std::printf("codec module: not loaded: %s\n", acmCodecModuleProblem());
  }
  std::printf("demux module: %s\n", qelpsnd_demux_module());
  return kExitOk;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    usage(stderr);
    return kExitUsage;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "-h") == 0 || std::strcmp(command, "--help") == 0) {
    usage(stdout);
    return kExitOk;
  }
  if (std::strcmp(command, "--version") == 0 || std::strcmp(command, "-V") == 0) return print_version();
  if (std::strcmp(command, "help") == 0) {
    if (argc < 3) {
      usage(stdout);
      return kExitOk;
    }
    const Entry* entry = find_command(argv[2]);
    if (entry == nullptr) return usage_error("", std::string("unknown command '") + argv[2] + "'");
    entry->help(stdout);
    return kExitOk;
  }
  if (const Entry* entry = find_command(command)) return entry->run(argc - 2, argv + 2);
  if (command[0] == '-') return usage_error("", std::string("unknown option '") + command + "'");
  return usage_error("", std::string("unknown command '") + command + "'");
}

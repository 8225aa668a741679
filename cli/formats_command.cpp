// qelp formats [IN]: the output formats the codecs offer for a stream's rate (48 kHz without IN),
// with the short names --format takes.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "../platform/msacm/msacm.h"
#include "commands.h"

namespace {

void usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: qelp formats [IN]\n"
               "List the output formats for the sampling rate of the AC-3 file IN (48 kHz without IN).\n"
               "The first column is the name 'qelp convert --format' takes.\n");
}

// The sampling rate of the first syncframe: the 2-bit fscod at the top of the byte after the
// sync word and CRC. 0 when the file holds no frame start in its first 64 KiB.
unsigned ac3_rate(std::FILE* f) {
  static const unsigned kRates[3] = {48000, 44100, 32000};
  unsigned char buffer[65536];
  size_t n = std::fread(buffer, 1, sizeof buffer, f);
  for (size_t i = 0; i + 4 < n; ++i) {
    if (buffer[i] == 0x0B && buffer[i + 1] == 0x77) {
      unsigned fscod = buffer[i + 4] >> 6;
      if (fscod < 3) return kRates[fscod];
    }
  }
  return 0;
}

}  // namespace

int command_formats(int argc, char** argv) {
  const char* in = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      usage(stdout);
      return 0;
    }
    if (argv[i][0] == '-' || in != nullptr) {
      usage(stderr);
      return 2;
    }
    in = argv[i];
  }
  unsigned rate = 48000;
  if (in != nullptr) {
    std::FILE* f = std::fopen(in, "rb");
    if (f == nullptr) {
      std::fprintf(stderr, "qelp: cannot open %s: %s\n", in, std::strerror(errno));
      return 1;
    }
    rate = ac3_rate(f);
    std::fclose(f);
    if (rate == 0) {
      std::fprintf(stderr, "qelp: no AC-3 frame found in %s\n", in);
      return 1;
    }
  }
  WAVEFORMATEX src{WAVE_FORMAT_PCM, 2, rate, rate * 4, 4, 16, 0};
  static AcmFormatOffer offers[64];
  size_t n = acmFormatEnumOffers(&src, offers, sizeof offers / sizeof offers[0], 0);
  std::printf("Formats for 16-bit stereo PCM at %u Hz:\n", rate);
  for (size_t i = 0; i < n; ++i) {
    std::printf("  %-12s %-16s %s\n", offers[i].short_name, offers[i].format_tag_name, offers[i].description);
  }
  const char* problem = acmCodecModuleProblem();
  if (problem[0] != '\0') std::fprintf(stderr, "qelp: compressed formats are not available: %s\n", problem);
  return 0;
}

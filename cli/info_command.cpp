// qelp info: what an AC-3 file holds, from its frame headers.
#include <cstdio>
#include <string>

#include "commands.h"
#include "options.h"
#include "progress_bar.h"
#include "qelpsnd.h"

namespace {

const char* centre_mix_text(int cmixlev) {
  static const char* const kText[4] = {"-3.0 dB", "-4.5 dB", "-6.0 dB", "reserved (-4.5 dB)"};
  return kText[cmixlev & 3];
}

const char* surround_mix_text(int surmixlev) {
  static const char* const kText[4] = {"-3 dB", "-6 dB", "off", "reserved (-6 dB)"};
  return kText[surmixlev & 3];
}

bool has_centre_mix(int acmod) { return (acmod & 1) != 0 && acmod != 1; }
bool has_surround_mix(int acmod) { return (acmod & 4) != 0; }

void print_info(const char* path, const QelpsndStreamInfo& info) {
  std::printf("%s\n", path);
  std::printf("  sampling rate   %u Hz\n", info.sampling_rate);
  std::printf("  bit rate        %u kbit/s\n", info.bit_rate);
  std::printf("  channels        %s%s\n", info.layout[0] ? info.layout : "?", info.lfeon ? " + LFE" : "");
  if (info.service[0]) std::printf("  service         %s (bsmod %d)\n", info.service, info.bsmod);
  std::printf("  language        %s\n", info.language[0] ? info.language : "not given");
  std::printf("  dialogue level  -%d dB\n", info.dialnorm == 0 ? 31 : info.dialnorm);
  if (has_centre_mix(info.acmod)) std::printf("  centre mix      %s\n", centre_mix_text(info.cmixlev));
  if (has_surround_mix(info.acmod)) std::printf("  surround mix    %s\n", surround_mix_text(info.surmixlev));
  double seconds = info.sampling_rate ? info.frames * 1536.0 / info.sampling_rate : 0.0;
  std::printf("  frames          %u\n", info.frames);
  std::printf("  duration        %s (%.3f s)\n", format_duration(seconds).c_str(), seconds);
  std::printf("  CRC failures    %u\n", info.crc_failures);
  if (info.bad_headers) std::printf("  bad headers     %u\n", info.bad_headers);
  if (info.junk_bytes) std::printf("  bytes skipped   %llu\n", static_cast<unsigned long long>(info.junk_bytes));
}

void diagnostics_discard(int, const char*, void*) {}

}  // namespace

int command_info(int argc, char** argv) {
  OptionReader reader(argc, argv);
  int status = 0;
  int files = 0;
  qelpsnd_set_diagnostics(diagnostics_discard, nullptr);
  while (reader.more()) {
    if (reader.flag("-h", "--help")) {
      std::printf("Usage: qelp info IN...\n\nShows the sampling rate, bit rate, channel layout, service, language,\n"
                  "mix levels, frame count, duration and CRC failures of AC-3 files.\n");
      return 0;
    }
    if (reader.unknown_option()) {
      std::fprintf(stderr, "qelp info: unknown option '%s'\n", reader.current());
      return 2;
    }
    std::string path = reader.take();
    QelpsndStreamInfo info{};
    char error[1400];
    if (files++) std::printf("\n");
    if (!qelpsnd_stream_info(path.c_str(), 1, &info, error, sizeof error)) {
      std::fprintf(stderr, "qelp: %s\n", error);
      status = 1;
      continue;
    }
    print_info(path.c_str(), info);
  }
  if (files == 0) {
    std::fprintf(stderr, "Usage: qelp info IN...\n");
    return 2;
  }
  return status;
}

// qelp formats [IN]: the output formats the codecs offer for a stream's rate (48 kHz without IN),
// with the short names --format takes.
#include <cstdio>
#include <string>

#include "../platform/msacm/msacm.h"
#include "commands.h"
#include "messages.h"
#include "options.h"
#include "qelpsnd.h"

namespace {

enum OptionId { kHelp };
constexpr OptionDef kOptions[] = {{'h', "help", false, kHelp}};

}  // namespace

void formats_usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: qelp formats [IN]\n"
               "\n"
               "Lists the output formats for the sampling rate of the AC-3 file IN (48 kHz without IN).\n"
               "The first column is the name 'qelp convert --format' takes.\n"
               "\n"
               "  -h, --help  show this help\n");
}

int command_formats(int argc, char** argv) {
  OptionReader reader(argc, argv, kOptions, sizeof kOptions / sizeof kOptions[0]);
  std::string in;
  for (OptionReader::Item item = reader.next(); item.kind != OptionReader::Kind::end; item = reader.next()) {
    if (item.kind == OptionReader::Kind::error) return usage_error("formats", reader.error());
    if (item.kind == OptionReader::Kind::argument) {
      if (!in.empty()) return usage_error("formats", "one file at a time ('" + item.value + "' is one too many)");
      in = item.value;
    } else if (item.id == kHelp) {
      formats_usage(stdout);
      return kExitOk;
    }
  }
  unsigned rate = 48000;
  if (!in.empty()) {
    // The rate of the stream's first good frame.
    show_engine_trace(false);
    QelpsndStreamInfo info{};
    char error[1400];
    if (!qelpsnd_stream_info(in.c_str(), 0, &info, error, sizeof error)) {
      say_failure(error, {in});
      return kExitFailed;
    }
    rate = info.sampling_rate;
  }
  WAVEFORMATEX src{WAVE_FORMAT_PCM, 2, rate, rate * 4, 4, 16, 0};
  static AcmFormatOffer offers[64];
  size_t n = acmFormatEnumOffers(&src, offers, sizeof offers / sizeof offers[0], 0);
  std::printf("Formats for 16-bit stereo PCM at %u Hz:\n", rate);
  for (size_t i = 0; i < n; ++i) {
    std::printf("  %-12s %-16s %s\n", offers[i].short_name, offers[i].format_tag_name, offers[i].description);
  }
  const char* problem = acmCodecModuleProblem();
  if (problem[0] != '\0') say("compressed formats are not available: %s", problem);
  return kExitOk;
}

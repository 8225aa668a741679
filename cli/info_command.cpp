// qelp info: what an AC-3 file holds, from its frame headers; for a container, its audio tracks
// first (number, codec, layout, language, duration, whether qelp converts it).
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "messages.h"
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
  if (info.unknown_bsid) std::printf("  unknown bsid    %u (silent in a conversion)\n", info.unknown_bsid);
  if (info.other_rate) {
    std::printf("  other rate      %u frames not at %u Hz (silent in a conversion)\n", info.other_rate,
                info.sampling_rate);
  }
  if (info.eac3_frames) std::printf("  E-AC-3 frames   %u (not decoded)\n", info.eac3_frames);
  if (info.junk_bytes)
    std::printf("  bytes skipped   %llu\n", static_cast<unsigned long long>(info.junk_bytes));
}

// "0:02.0" or "?" for a duration not known.
std::string duration_text(double seconds) { return seconds < 0 ? std::string("?") : format_duration(seconds); }

// One line per audio track of a container.
void print_tracks(const QelpsndTrackInfo* tracks, int count, int shown) {
  std::printf("  container       %s\n", tracks[0].container);
  std::printf("  audio tracks    %d\n", count);
  for (int i = 0; i < shown; ++i) {
    const QelpsndTrackInfo& t = tracks[i];
    std::string layout = t.layout[0] != '\0' ? t.layout : "?";
    if (t.sampling_rate != 0) layout += ", " + std::to_string(t.sampling_rate) + " Hz";
    std::printf("    %-3d %-8s %-24s %-4s %9s  %s\n", t.number, t.codec, layout.c_str(),
                t.language[0] != '\0' ? t.language : "-", duration_text(t.duration).c_str(),
                t.convertible ? "converts" : ("not converted: " + std::string(t.note)).c_str());
  }
}

// Prints what path holds: its tracks when it is a container, then the chosen AC-3 stream's details.
// Returns the exit status.
int show_file(const std::string& path, int track) {
  char error[1400];
  constexpr int kMaxListed = 64;
  QelpsndTrackInfo tracks[kMaxListed];
  const int count = qelpsnd_tracks(path.c_str(), tracks, kMaxListed, error, sizeof error);
  if (count < 0) {
    say_failure(error, {path});
    return kExitFailed;
  }
  const bool container = count != 1 || tracks[0].container[0] != '\0';
  QelpsndStreamInfo info{};
  const int found = count == 0 ? 0 : qelpsnd_track_stream_info(path.c_str(), track, 1, &info, error, sizeof error);
  if (container) {
    std::printf("%s\n", path.c_str());
    print_tracks(tracks, count, count < kMaxListed ? count : kMaxListed);
    if (count == 0) {
      say_failure(path + " has no audio track", {path});
      return kExitFailed;
    }
  }
  if (!found) {
    say_failure(error, {path});
    return kExitFailed;
  }
  if (container) {
    std::printf("\n");
    print_info((track == 0 ? path + ", its first AC-3 track" : path + ", track " + std::to_string(track)).c_str(), info);
  } else {
    print_info(path.c_str(), info);
  }
  return kExitOk;
}

enum OptionId { kHelp, kTrack };
constexpr OptionDef kOptions[] = {{'h', "help", false, kHelp}, {'t', "track", true, kTrack}};

}  // namespace

void info_usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: qelp info [-t N] IN...\n"
               "\n"
               "Shows the sampling rate, bit rate, channel layout, service, language, mix levels, frame\n"
               "count, duration and CRC failures of AC-3 files. For a container (Matroska, MP4/MOV,\n"
               "VOB/MPEG, TS/M2TS, AVI) it first lists every audio track: its number (for --track),\n"
               "codec, layout, language, duration and whether qelp converts it.\n"
               "\n"
               "  -t, --track N  the details of audio track N (default: the first AC-3 track)\n"
               "  -h, --help     show this help\n");
}

int command_info(int argc, char** argv) {
  OptionReader reader(argc, argv, kOptions, sizeof kOptions / sizeof kOptions[0]);
  std::vector<std::string> paths;
  int track = 0;
  for (OptionReader::Item item = reader.next(); item.kind != OptionReader::Kind::end; item = reader.next()) {
    if (item.kind == OptionReader::Kind::error) return usage_error("info", reader.error());
    if (item.kind == OptionReader::Kind::argument) {
      paths.push_back(item.value);
    } else if (item.id == kHelp) {
      info_usage(stdout);
      return kExitOk;
    } else if (item.id == kTrack) {
      if (!parse_track(item.value, &track)) return usage_error("info", track_error(item.value));
    }
  }
  if (paths.empty()) return usage_error("info", "no file given");
  show_engine_trace(false);
  int status = kExitOk;
  int files = 0;
  for (const std::string& path : paths) {
    if (files++) std::printf("\n");
    if (show_file(path, track) != kExitOk) status = kExitFailed;
  }
  return status;
}

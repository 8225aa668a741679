// qelp play IN: plays an AC-3 file on the sound device with a progress line; Ctrl-C stops it
// cleanly and exits with 130, as an interrupted conversion does.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands.h"
#include "messages.h"
#include "options.h"
#include "progress_bar.h"
#include "qelpsnd.h"

namespace {

constexpr int kPcmFrameBytes = 6144;
constexpr int kFrameSamples = 1536;
constexpr int kQueuedFrames = 20;  // the player's ring: frames decoded but not yet heard

volatile sig_atomic_t g_stop = 0;

void on_stop_signal(int) { g_stop = 1; }

enum OptionId { kHelp, kSurround, kQuiet, kVerbose, kDebug, kTrack };

constexpr OptionDef kOptions[] = {
    {'h', "help", false, kHelp},   {'s', "surround", false, kSurround}, {'q', "quiet", false, kQuiet},
    {'v', "verbose", false, kVerbose}, {'\0', "debug", false, kDebug}, {'t', "track", true, kTrack},
};

const char* device_name() {
  const char* name = std::getenv("QELP_AUDIO_DEVICE");
  return name == nullptr || name[0] == '\0' ? "default" : name;
}

}  // namespace

void play_usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: qelp play [OPTIONS] IN\n"
               "\n"
               "Plays AC-3 audio on the sound device, folded down to stereo: a raw AC-3 stream, the AC-3\n"
               "track of a container (Matroska, MP4/MOV, VOB/MPEG, TS/M2TS, AVI) or a WAVE file of\n"
               "IEC 61937 bursts.\n"
               "\n"
               "  -s, --surround  surround-compatible fold-down (surround channels in antiphase)\n"
               "  -t, --track N   play audio track N of a container, as 'qelp info' numbers them\n"
               "  -q, --quiet     no progress, and nothing said on success\n"
               "  -v, --verbose   say what the stream is\n"
               "      --debug     show the engine's own trace\n"
               "  -h, --help      show this help\n"
               "\n"
               "QELP_AUDIO_DEVICE chooses the device: an ALSA device name (\"default\" when unset),\n"
               "or \"null\" to play in real time without sound (ALSA's own null device is \"alsa:null\").\n"
               "Ctrl-C stops playback (exit status 130).\n");
}

int command_play(int argc, char** argv) {
  OptionReader reader(argc, argv, kOptions, sizeof kOptions / sizeof kOptions[0]);
  std::string in;
  bool surround = false;
  bool quiet = false;
  bool verbose = false;
  bool debug = false;
  int track = 0;
  for (OptionReader::Item item = reader.next(); item.kind != OptionReader::Kind::end; item = reader.next()) {
    if (item.kind == OptionReader::Kind::error) return usage_error("play", reader.error());
    if (item.kind == OptionReader::Kind::argument) {
      if (!in.empty()) return usage_error("play", "one file at a time ('" + item.value + "' is one too many)");
      in = item.value;
      continue;
    }
    switch (item.id) {
      case kHelp:
        play_usage(stdout);
        return kExitOk;
      case kSurround:
        surround = true;
        break;
      case kQuiet:
        quiet = true;
        break;
      case kVerbose:
        verbose = true;
        break;
      case kDebug:
        debug = true;
        break;
      case kTrack:
        if (!parse_track(item.value, &track)) return usage_error("play", track_error(item.value));
        break;
    }
  }
  if (in.empty()) return usage_error("play", "no file given");
  show_engine_trace(debug);

  // The stream's rate, bit rate and frames (for its length: a container's or burst file's size
  // says nothing of it); a file without AC-3 audio ends here.
  QelpsndStreamInfo info{};
  char error[1400];
  if (!qelpsnd_track_stream_info(in.c_str(), track, 1, &info, error, sizeof error)) {
    say_failure(error, {in});
    return kExitFailed;
  }
  CQelpsnd engine;
  std::string path = in;
  if (engine.SetInFile(path.data()) != 0) {
    say_failure(engine.m_lastErrorText, {in});
    return kExitFailed;
  }
  engine.SetSurround(surround ? 1 : 0);
  engine.SetTrack(track);
  const double frame_seconds = static_cast<double>(kFrameSamples) / info.sampling_rate;
  const std::string total = format_time(info.frames * frame_seconds);

  struct sigaction stop {};
  stop.sa_handler = on_stop_signal;
  sigemptyset(&stop.sa_mask);
  stop.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program the hard way
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);

  if (!engine.StartPlayer()) {
    if (engine.m_lastError == QELP_ERR_DEVICE) {
      say_failure(std::string(engine.m_lastErrorText) +
                      "; set QELP_AUDIO_DEVICE to an ALSA device name, or to null to play without sound",
                  {in});
    } else {
      say_failure(engine.m_lastErrorText, {in});
    }
    return kExitFailed;
  }

  const bool live = !quiet && isatty(STDERR_FILENO) != 0;
  if (verbose) {
    std::fprintf(stderr, "%s: AC-3 %s%s, %u Hz, %u kbit/s, %s\n", in.c_str(), info.layout, info.lfeon ? " + LFE" : "",
                 info.sampling_rate, info.bit_rate, info.service);
  }
  if (!quiet) {
    std::fprintf(stderr, "Playing %s (%s) on \"%s\"\n", in.c_str(), total.c_str(), device_name());
    std::fflush(stderr);
  }

  uint32_t shown = 0;
  int more = 1;
  while (more != 0 && g_stop == 0) {
    more = engine.PlayNextFrame();
    const uint32_t frames = engine.m_bytesDecoded / kPcmFrameBytes;
    // What is heard trails what is decoded by the frames waiting in the device's ring.
    const uint32_t heard = more != 0 ? (frames > kQueuedFrames ? frames - kQueuedFrames : 0) : frames - 1;
    if (live && (more == 0 || heard >= shown + 3)) {
      shown = heard;
      std::fprintf(stderr, "\r  %s / %s ", format_time(heard * frame_seconds).c_str(), total.c_str());
      std::fflush(stderr);
    }
  }
  if (live) std::fprintf(stderr, "\n");

  if (g_stop != 0) {
    engine.StopPlayer();
    if (!quiet) std::fprintf(stderr, "Stopped.\n");
    return kExitInterrupted;
  }
  if (engine.m_lastError != QELP_OK) {
    say_failure(engine.m_lastErrorText, {in});
    return kExitFailed;
  }
  const uint32_t frames = engine.m_bytesDecoded / kPcmFrameBytes;
  if (!quiet) std::fprintf(stderr, "Played %s (%s).\n", in.c_str(), format_time((frames - 1) * frame_seconds).c_str());
  return kExitOk;
}

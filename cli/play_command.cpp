// qelp play IN [--surround]: plays an AC-3 file on the sound device with a progress line; Ctrl-C
// stops it cleanly.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commands.h"
#include "qelpsnd.h"

namespace {

constexpr int kPcmFrameBytes = 6144;
constexpr int kFrameSamples = 1536;
constexpr int kQueuedFrames = 20;  // the player's ring: frames decoded but not yet heard

volatile sig_atomic_t g_stop = 0;

void on_stop_signal(int) { g_stop = 1; }

void play_usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: qelp play IN [--surround] [-v]\n"
               "\n"
               "Plays an AC-3 file on the sound device, folded down to stereo.\n"
               "  --surround   surround-compatible fold-down (surround channels in antiphase)\n"
               "  -v           show the decoder's diagnostics\n"
               "\n"
               "QELP_AUDIO_DEVICE chooses the device: an ALSA device name (\"default\" when unset),\n"
               "or \"null\" to play in real time without sound (ALSA's own null device is \"alsa:null\").\n"
               "Ctrl-C stops playback.\n");
}

void drop_diagnostics(int, const char*, void*) {}

// What the first syncframe of the file says: sampling rate and bit rate. 0 when none is found.
struct StreamRates {
  int sampling_rate = 0;
  int kbps = 0;
};

StreamRates first_frame_rates(const char* path) {
  static const int kRates[3] = {48000, 44100, 32000};
  static const int kKbps[19] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 576, 640};
  StreamRates found;
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return found;
  static unsigned char head[65536];
  size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  for (size_t i = 0; i + 5 <= n; ++i) {
    if (head[i] != 0x0B || head[i + 1] != 0x77) continue;
    int fscod = head[i + 4] >> 6;
    int frmsizecod = head[i + 4] & 0x3F;
    if (fscod == 3 || frmsizecod >= 38) continue;
    found.sampling_rate = kRates[fscod];
    found.kbps = kKbps[frmsizecod >> 1];
    break;
  }
  return found;
}

// m:ss.s
void format_time(char* out, size_t size, double seconds) {
  if (seconds < 0) seconds = 0;
  long tenths = static_cast<long>(seconds * 10 + 0.5);
  std::snprintf(out, size, "%ld:%02ld.%ld", tenths / 600, (tenths / 10) % 60, tenths % 10);
}

const char* device_name() {
  const char* name = std::getenv("QELP_AUDIO_DEVICE");
  return name == nullptr || name[0] == '\0' ? "default" : name;
}

}  // namespace

int command_play(int argc, char** argv) {
  const char* in = nullptr;
  bool surround = false;
  bool verbose = false;
  for (int i = 0; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0) {
      play_usage(stdout);
      return 0;
    }
    if (std::strcmp(a, "--surround") == 0) {
      surround = true;
    } else if (std::strcmp(a, "-v") == 0 || std::strcmp(a, "--verbose") == 0) {
      verbose = true;
    } else if (a[0] == '-' && a[1] != '\0') {
      std::fprintf(stderr, "qelp play: unknown option '%s'\n", a);
      play_usage(stderr);
      return 2;
    } else if (in == nullptr) {
      in = a;
    } else {
      std::fprintf(stderr, "qelp play: one file at a time ('%s' is one too many)\n", a);
      return 2;
    }
  }
  if (in == nullptr) {
    play_usage(stderr);
    return 2;
  }
  if (!verbose) qelpsnd_set_diagnostics(drop_diagnostics, nullptr);

  CQelpsnd engine;
  if (engine.SetInFile(const_cast<char*>(in)) != 0) {
    std::fprintf(stderr, "qelp play: %s\n", engine.m_lastErrorText);
    return 1;
  }
  engine.SetSurround(surround ? 1 : 0);

  StreamRates rates = first_frame_rates(in);
  double frame_seconds = static_cast<double>(kFrameSamples) / (rates.sampling_rate != 0 ? rates.sampling_rate : 48000);
  double duration = rates.kbps != 0 ? engine.m_inputSize * 8.0 / (rates.kbps * 1000.0) : 0;
  char total[32];
  if (duration > 0) {
    format_time(total, sizeof total, duration);
  } else {
    std::snprintf(total, sizeof total, "?");
  }

  struct sigaction stop {};
  stop.sa_handler = on_stop_signal;
  sigemptyset(&stop.sa_mask);
  stop.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program the hard way
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);

  if (!engine.StartPlayer()) {
    std::fprintf(stderr, "qelp play: %s\n", engine.m_lastErrorText);
    if (engine.m_lastError == QELP_ERR_DEVICE) {
      std::fprintf(stderr,
                   "qelp play: no sound device could be opened; set QELP_AUDIO_DEVICE to an ALSA device "
                   "name, or to null to play without sound\n");
    }
    return 1;
  }

  const bool live = isatty(STDERR_FILENO) != 0;
  std::fprintf(stderr, "Playing %s (%s) on \"%s\"\n", in, total, device_name());
  std::fflush(stderr);

  char now[32];
  uint32_t shown = 0;
  int more = 1;
  while (more != 0 && g_stop == 0) {
    more = engine.PlayNextFrame();
    uint32_t frames = engine.m_bytesDecoded / kPcmFrameBytes;
    // What is heard trails what is decoded by the frames waiting in the device's ring.
    uint32_t heard = more != 0 ? (frames > kQueuedFrames ? frames - kQueuedFrames : 0) : frames - 1;
    if (live && (more == 0 || heard >= shown + 3)) {
      shown = heard;
      format_time(now, sizeof now, heard * frame_seconds);
      std::fprintf(stderr, "\r  %s / %s ", now, total);
      std::fflush(stderr);
    }
  }
  if (live) std::fprintf(stderr, "\n");

  if (g_stop != 0) {
    engine.StopPlayer();
    std::fprintf(stderr, "Stopped.\n");
    return 0;
  }
  if (engine.m_lastError != QELP_OK) {
    std::fprintf(stderr, "qelp play: %s\n", engine.m_lastErrorText);
    return 1;
  }
  uint32_t frames = engine.m_bytesDecoded / kPcmFrameBytes;
  if (frames <= 1) {
    std::fprintf(stderr, "qelp play: %s holds no AC-3 audio\n", in);
    return 1;
  }
  format_time(now, sizeof now, (frames - 1) * frame_seconds);
  std::fprintf(stderr, "Played %s (%s).\n", in, now);
  return 0;
}

// qelp normalize FILE [--amplify DB]: normalizes a 16-bit or 8-bit PCM WAVE file in place, to its
// peak or by a fixed gain, on the engine's normalizer worker, with a progress bar for each pass.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "commands.h"
#include "qelpsnd.h"

namespace {

// One progress line on standard error, redrawn in place; only when standard error is a terminal.
class PassBar {
 public:
  explicit PassBar(bool shown) : shown_(shown) {}

  void show(const char* label, int percent) {
    if (!shown_) return;
    if (label_ != nullptr && std::strcmp(label, label_) != 0) finish();
    if (label_ == label && percent == percent_) return;
    label_ = label;
    percent_ = percent;
    constexpr int kWidth = 40;
    char bar[kWidth + 1];
    const int filled = percent * kWidth / 100;
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r%-22s [%s] %3d%%", label, bar, percent);
    std::fflush(stderr);
  }

  // Ends the current line, if one is drawn.
  void finish() {
    if (!shown_ || label_ == nullptr) return;
    std::fputc('\n', stderr);
    label_ = nullptr;
    percent_ = -1;
  }

 private:
  bool shown_;
  const char* label_ = nullptr;
  int percent_ = -1;
};

constexpr const char* kPass1 = "Pass 1: finding peak";
constexpr const char* kPass2 = "Pass 2: amplifying";
constexpr const char* kAmplifying = "Amplifying";

// The engine's diagnostics are shown only with --verbose; they carry their own progress then.
void drop_diagnostic(int, const char*, void*) {}
bool g_verbose = false;

void usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: qelp normalize FILE [--amplify DB] [-q|--quiet] [-v|--verbose]\n"
               "\n"
               "Rewrites the samples of a 16-bit or 8-bit PCM WAVE file in place.\n"
               "  --amplify DB   fixed amplification by DB decibels (1 to 100); 0 or absent: raise the\n"
               "                 peak to full scale\n"
               "  -q, --quiet    no progress bar and no result line\n"
               "  -v, --verbose  show the engine's own messages\n");
}

// A whole number from 0 to 100; false for anything else.
bool parse_amplify(const char* text, int* db) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > 100) return false;
  *db = static_cast<int>(value);
  return true;
}

}  // namespace

int normalize_file(CQelpsnd& engine, const char* path, int amplify_db, bool quiet) {
  char path_copy[1024];
  if (std::snprintf(path_copy, sizeof path_copy, "%s", path) >= static_cast<int>(sizeof path_copy)) {
    std::fprintf(stderr, "qelp: cannot normalize %s: the path is too long (1023 bytes at most)\n", path);
    return 1;
  }
  // The engine takes the level as text of 7 characters at most; gains above 1000 dB change nothing.
  char amplify[16];
  std::snprintf(amplify, sizeof amplify, "%d", amplify_db <= 0 ? 0 : (amplify_db > 1000 ? 1000 : amplify_db));
  engine.SetOutFile(path_copy);
  engine.SetAmplifyDBLevel(amplify);
  engine.SetNormalizeOn();
  engine.StartNormalize();
  if (engine.m_lastError != QELP_OK) {
    std::fprintf(stderr, "qelp: %s\n", engine.m_lastErrorText);
    return 1;
  }

  PassBar bar(!quiet && isatty(STDERR_FILENO) != 0 && !g_verbose);
  const bool fixed = amplify_db > 0;
  int exit_code = QELP_NORM_RUNNING;
  bool in_pass2 = false;
  for (;;) {
    exit_code = engine.GetNormExit();
    const int scanned = engine.GetScanned();
    const int normed = engine.GetNormed();
    if (!in_pass2 && (fixed || normed > 0)) {
      if (!fixed) bar.show(kPass1, 100);  // pass 1 has ended: complete its line once
      in_pass2 = true;
    }
    if (in_pass2) {
      bar.show(fixed ? kAmplifying : kPass2, normed);
    } else {
      bar.show(kPass1, scanned);
    }
    if (exit_code != QELP_NORM_RUNNING) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  bar.finish();

  QelpsndNormResult result;
  qelpsnd_norm_result(&result);
  switch (exit_code) {
    case 0:
      if (!quiet) {
        if (result.fixed != 0) {
          std::printf("%s: amplified by %+.3f dB\n", path, result.gainDb);
        } else if (result.processed == 0) {
          std::printf("%s: no samples to normalize (empty data chunk)\n", path);
        } else if (result.peak == 0) {
          std::printf("%s: silent (peak 0), left unchanged\n", path);
        } else {
          std::printf("%s: peak %d of %d found, gain %+.3f dB applied\n", path, result.peak,
                      result.bits == 8 ? 127 : 32767, result.gainDb);
        }
      }
      return 0;
    case 3:
      if (!quiet) std::printf("%s: peak already at full scale, no amplification required\n", path);
      return 0;
    default:
      std::fprintf(stderr, "qelp: %s\n", engine.m_lastErrorText);
      return 1;
  }
}

int command_normalize(int argc, char** argv) {
  const char* path = nullptr;
  int amplify_db = 0;
  bool quiet = false;
  bool verbose = false;
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      usage(stdout);
      return 0;
    }
    if (std::strcmp(arg, "-q") == 0 || std::strcmp(arg, "--quiet") == 0) {
      quiet = true;
    } else if (std::strcmp(arg, "-v") == 0 || std::strcmp(arg, "--verbose") == 0) {
      verbose = true;
    } else if (std::strcmp(arg, "--amplify") == 0) {
      if (i + 1 >= argc || !parse_amplify(argv[i + 1], &amplify_db)) {
        std::fprintf(stderr, "qelp normalize: --amplify takes a whole number of dB from 0 to 100\n");
        return 2;
      }
      ++i;
    } else if (arg[0] == '-' && arg[1] != '\0') {
      std::fprintf(stderr, "qelp normalize: unknown option '%s'\n", arg);
      usage(stderr);
      return 2;
    } else if (path == nullptr) {
      path = arg;
    } else {
      std::fprintf(stderr, "qelp normalize: one file at a time ('%s' is one too many)\n", arg);
      return 2;
    }
  }
  if (path == nullptr) {
    usage(stderr);
    return 2;
  }
  g_verbose = verbose;
  if (!verbose) qelpsnd_set_diagnostics(drop_diagnostic, nullptr);
  CQelpsnd engine;
  return normalize_file(engine, path, amplify_db, quiet);
}

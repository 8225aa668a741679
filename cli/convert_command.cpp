// qelp convert: AC-3 files to stereo WAVE files through the engine, one after another.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "format_option.h"
#include "options.h"
#include "progress_bar.h"
#include "qelpsnd.h"

namespace {

std::atomic<bool> g_interrupted{false};

void on_interrupt(int) { g_interrupted = true; }

struct ConvertOptions {
  std::vector<std::string> inputs;
  std::string output;        // OUT for a single input, else empty
  std::string output_dir;    // -o DIR
  std::string format;        // --format
  bool surround = false;
  bool normalize = false;
  int amplify_db = -1;       // -1: no amplification asked; 0: peak; 5..50: fixed gain
  bool yes = false;
  bool quiet = false;
  bool verbose = false;
};

void usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: qelp convert [OPTIONS] IN [OUT]\n"
               "       qelp convert [OPTIONS] IN... [-o DIR]\n"
               "\n"
               "Converts AC-3 files to stereo WAVE files. OUT defaults to IN with the extension .wav;\n"
               "several inputs go into the folder named with -o, one after another.\n"
               "\n"
               "  -o, --output-dir DIR  write the WAVE files into DIR\n"
               "  -s, --surround        surround-compatible fold-down (surrounds in antiphase)\n"
               "  -f, --format FORMAT   output format, as 'qelp formats' lists it (default: 16-bit PCM)\n"
               "  -n, --normalize       normalize the file to its peak level afterwards\n"
               "  -a, --amplify DB      amplify the file by DB dB afterwards (5 to 50; 0 means peak)\n"
               "  -y, --yes             overwrite existing output files\n"
               "  -q, --quiet           no progress and no summary\n"
               "  -v, --verbose         show the engine's diagnostics\n");
}

// IN with its extension replaced by .wav, placed in dir when one is given.
std::string output_name(const std::string& in, const std::string& dir) {
  std::string base = in;
  size_t slash = base.find_last_of('/');
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.erase(dot);
  base += ".wav";
  if (dir.empty()) return base;
  std::string name = slash == std::string::npos ? base : base.substr(base.find_last_of('/') + 1);
  return dir + (dir.back() == '/' ? "" : "/") + name;
}

bool file_exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

// Asks on the terminal; false when the answer is not yes.
bool ask_overwrite(const std::string& path) {
  std::fprintf(stderr, "qelp: %s exists. Overwrite? [y/N] ", path.c_str());
  std::fflush(stderr);
  char answer[16] = {};
  if (std::fgets(answer, sizeof answer, stdin) == nullptr) return false;
  return answer[0] == 'y' || answer[0] == 'Y';
}

int parse(int argc, char** argv, ConvertOptions& o) {
  OptionReader reader(argc, argv);
  std::vector<std::string> positional;
  while (reader.more()) {
    std::string value;
    if (reader.flag("-h", "--help")) {
      usage(stdout);
      return 0;
    } else if (reader.value("-o", "--output-dir", value)) {
      o.output_dir = value;
    } else if (reader.value("-f", "--format", value)) {
      o.format = value;
    } else if (reader.value("-a", "--amplify", value)) {
      char* end = nullptr;
      long db = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || !(db == 0 || (db >= 5 && db <= 50))) {
        std::fprintf(stderr, "qelp convert: --amplify takes a level from 5 to 50 dB, or 0 for peak normalization\n");
        return 2;
      }
      o.amplify_db = static_cast<int>(db);
    } else if (reader.flag("-s", "--surround")) {
      o.surround = true;
    } else if (reader.flag("-n", "--normalize")) {
      o.normalize = true;
    } else if (reader.flag("-y", "--yes")) {
      o.yes = true;
    } else if (reader.flag("-q", "--quiet")) {
      o.quiet = true;
    } else if (reader.flag("-v", "--verbose")) {
      o.verbose = true;
    } else if (reader.unknown_option()) {
      std::fprintf(stderr, "qelp convert: unknown option '%s'\n", reader.current());
      usage(stderr);
      return 2;
    } else {
      positional.push_back(reader.take());
    }
  }
  if (!reader.error().empty()) {
    std::fprintf(stderr, "qelp convert: %s\n", reader.error().c_str());
    return 2;
  }
  if (positional.empty()) {
    usage(stderr);
    return 2;
  }
  if (o.output_dir.empty()) {
    if (positional.size() > 2) {
      std::fprintf(stderr, "qelp convert: to convert several files, name the output folder with -o DIR\n");
      return 2;
    }
    if (positional.size() == 2) {
      o.output = positional[1];
      positional.pop_back();
    }
  }
  o.inputs = positional;
  if (o.normalize && o.amplify_db < 0) o.amplify_db = 0;
  if (o.amplify_db >= 0 && !o.format.empty() && !format_option_is_pcm(o.format.c_str())) {
    std::fprintf(stderr, "qelp convert: normalizing needs a PCM output format, not '%s'\n", o.format.c_str());
    return 2;
  }
  return -1;
}

void diagnostics_to_stderr(int, const char* text, void*) { std::fputs(text, stderr); }
void diagnostics_discard(int, const char*, void*) {}

std::string progress_detail(const CQelpsnd& engine, uint32_t rate, double elapsed, double fraction) {
  char text[128];
  double mb = engine.m_outputBytes / 1048576.0;
  double audio_seconds = rate ? (engine.m_bytesDecoded / 6144.0) * 1536.0 / rate : 0.0;
  double speed = elapsed > 0 ? audio_seconds / elapsed : 0.0;
  double left = fraction > 0.001 ? elapsed * (1.0 - fraction) / fraction : 0.0;
  std::snprintf(text, sizeof text, "%.1f MB  %.0fx real time  %s left", mb, speed, format_duration(left).c_str());
  return text;
}

// Converts one file. Returns the exit status for it.
int convert_one(CQelpsnd& engine, const std::string& in, const std::string& out, const ConvertOptions& o) {
  if (file_exists(out)) {
    if (o.yes || (isatty(STDIN_FILENO) && ask_overwrite(out))) {
      qelpsnd_set_overwrite(1);
    } else {
      std::fprintf(stderr, "qelp: %s exists; not overwritten (use -y to overwrite)\n", out.c_str());
      return 1;
    }
  } else {
    qelpsnd_set_overwrite(2);
  }

  std::vector<char> in_path(in.begin(), in.end());
  in_path.push_back('\0');
  std::vector<char> out_path(out.begin(), out.end());
  out_path.push_back('\0');
  if (engine.SetInFile(in_path.data()) != 0 || engine.SetOutFile(out_path.data()) != 0) {
    std::fprintf(stderr, "qelp: %s\n", engine.m_lastErrorText);
    return 1;
  }
  engine.SetSurround(o.surround ? 1 : 0);
  char no_amplify[1] = {'\0'};
  engine.SetAmplifyDBLevel(no_amplify);

  QelpsndStreamInfo info{};
  char info_error[256];
  uint32_t rate = qelpsnd_stream_info(in.c_str(), 0, &info, info_error, sizeof info_error) ? info.sampling_rate : 0;

  if (!engine.InitEncoder()) {
    std::fprintf(stderr, "qelp: %s\n", engine.m_lastErrorText);
    return 1;
  }
  ProgressBar bar(!o.quiet && isatty(STDERR_FILENO));
  auto start = std::chrono::steady_clock::now();
  uint32_t frames = 0;
  while (engine.DecodeFrame()) {
    ++frames;
    if (g_interrupted) {
      engine.Terminate();
      bar.finish();
      std::fprintf(stderr, "qelp: cancelled; %s holds the %u frames converted so far\n", out.c_str(), frames);
      return 130;
    }
    if (bar.enabled()) {
      double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      double fraction = engine.m_inputSize ? static_cast<double>(engine.m_inputPosition) / engine.m_inputSize : 0.0;
      bar.update(fraction, progress_detail(engine, rate, elapsed, fraction));
    }
  }
  if (bar.enabled() && engine.m_lastError == QELP_OK) {
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bar.update(1.0, progress_detail(engine, rate, elapsed, 1.0), true);
  }
  bar.finish();
  if (engine.m_lastError != QELP_OK) {
    std::fprintf(stderr, "qelp: %s\n", engine.m_lastErrorText);
    return 1;
  }
  if (!o.quiet) {
    double seconds = rate ? frames * 1536.0 / rate : 0.0;
    std::printf("%s -> %s: %u frames, %s, %u bytes of audio data\n", in.c_str(), out.c_str(), frames,
                format_duration(seconds).c_str(), engine.m_outputBytes);
  }
  if (o.amplify_db >= 0) return normalize_file(engine, out.c_str(), o.amplify_db, o.quiet);
  return 0;
}

}  // namespace

int command_convert(int argc, char** argv) {
  ConvertOptions o;
  int parsed = parse(argc, argv, o);
  if (parsed >= 0) return parsed;

  qelpsnd_set_diagnostics(o.verbose ? diagnostics_to_stderr : diagnostics_discard, nullptr);
  if (!o.format.empty() && format_option_install(o.format.c_str()) != 0) return 2;
  if (!o.output_dir.empty()) {
    struct stat st {};
    if (stat(o.output_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      std::fprintf(stderr, "qelp: output folder %s does not exist\n", o.output_dir.c_str());
      return 1;
    }
  }
  std::signal(SIGINT, on_interrupt);
  std::signal(SIGTERM, on_interrupt);

  auto engine = std::make_unique<CQelpsnd>();
  int status = 0;
  for (const std::string& in : o.inputs) {
    std::string out = o.output.empty() ? output_name(in, o.output_dir) : o.output;
    int one = convert_one(*engine, in, out, o);
    if (one == 130) return one;
    if (one != 0) status = one;
  }
  return status;
}

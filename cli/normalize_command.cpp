// qelp normalize FILE: normalizes a 16-bit or 8-bit PCM WAVE file in place, to its peak or by a
// fixed gain, on the engine's normalizer worker, with the progress bar of qelp for each pass.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "commands.h"
#include "messages.h"
#include "options.h"
#include "progress_bar.h"
#include "qelpsnd.h"
#include "stop_signals.h"

namespace {

enum OptionId { kHelp, kAmplify, kQuiet, kVerbose, kDebug };

constexpr OptionDef kOptions[] = {
    {'h', "help", false, kHelp},       {'a', "amplify", true, kAmplify}, {'q', "quiet", false, kQuiet},
    {'v', "verbose", false, kVerbose}, {'\0', "debug", false, kDebug},
};

// The worker's progress on the bar: pass 1 (finding the peak) and pass 2 (amplifying) each fill it.
void show_progress(CQelpsnd& engine, ProgressBar& bar, const std::string& name, bool fixed) {
  bool in_pass2 = false;
  for (;;) {
    const int exit_code = engine.GetNormExit();
    const int scanned = engine.GetScanned();
    const int normed = engine.GetNormed();
    if (!in_pass2 && (fixed || normed > 0)) {
      if (!fixed) {
        bar.update(1.0, "", true);  // pass 1 has ended: complete its line once
        bar.finish();
      }
      in_pass2 = true;
      bar.set_label(name + (fixed ? ": amplifying" : ": pass 2, amplifying"));
    }
    if (exit_code != QELP_NORM_RUNNING) {
      if (exit_code == 0 || exit_code == 3) bar.update(in_pass2 ? normed / 100.0 : scanned / 100.0, "", true);
      break;
    }
    bar.update(in_pass2 ? normed / 100.0 : scanned / 100.0, "");
    // Ctrl-C and the other stop signals: the worker stops at its next piece; in pass 2 the journal
    // beside the file lets the next run finish.
    if (stop_requested()) engine.StopNormalize();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  bar.finish();
}

}  // namespace

void normalize_usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: qelp normalize [OPTIONS] FILE\n"
               "\n"
               "Rewrites the samples of a 16-bit or 8-bit PCM WAVE file in place: raises its peak to\n"
               "full scale, or amplifies it by a fixed gain.\n"
               "\n"
               "  -a, --amplify DB  amplify by DB dB: %d to %d (0 or absent: to the peak); samples\n"
               "                    taken beyond full scale are clipped, and counted\n"
               "  -q, --quiet       no progress, and nothing said on success\n"
               "  -v, --verbose     say what was rewritten\n"
               "      --debug       show the engine's own trace\n"
               "  -h, --help        show this help\n",
               kAmplifyMinDb, kAmplifyMaxDb);
}

int normalize_file(CQelpsnd& engine, const char* path, int amplify_db, bool quiet, const std::string& label) {
  char path_copy[1024];
  if (std::snprintf(path_copy, sizeof path_copy, "%s", path) >= static_cast<int>(sizeof path_copy)) {
    say("cannot normalize %s: the path is too long (1023 bytes at most)", path);
    return kExitFailed;
  }
  // The engine takes the level as text.
  char amplify[16];
  std::snprintf(amplify, sizeof amplify, "%d", amplify_db <= 0 ? 0 : amplify_db);
  engine.SetOutFile(path_copy);
  engine.SetAmplifyDBLevel(amplify);
  engine.SetNormalizeOn();
  engine.StartNormalize();
  if (engine.m_lastError != QELP_OK) {
    say_failure(engine.m_lastErrorText, {path});
    return kExitFailed;
  }

  const bool fixed = amplify_db > 0;
  // No bar of its own while the messages are held: the file is one of a batch converted side by side.
  ProgressBar bar(!quiet && isatty(STDERR_FILENO) != 0 && !messages_held());
  bar.set_label(label + (fixed ? ": amplifying" : ": pass 1, finding the peak"));
  show_progress(engine, bar, label, fixed);

  const int exit_code = engine.GetNormExit();
  QelpsndNormResult result;
  qelpsnd_norm_result(&result);
  if (result.resumed != 0 && (exit_code == 0 || exit_code == 5)) {
    std::string asked;
    const bool same_gain =
        result.fixed != 0 && result.gainDb > amplify_db - 0.001 && result.gainDb < amplify_db + 0.001;
    if (amplify_db > 0 && !same_gain) {
      asked =
          "; the -a " + std::to_string(amplify_db) + " asked for now is not applied (run again to apply it)";
    } else if (amplify_db <= 0 && result.fixed != 0) {
      asked = "; the peak normalization asked for now is not applied (run again to apply it)";
    }
    say("%s: %s the normalization that was cut off after %.1f MB (%s %+.3f dB)%s", path,
        exit_code == 0 ? "finished" : "went on with", result.resumedFrom / 1048576.0,
        result.fixed != 0 ? "fixed gain" : "peak normalization", result.gainDb, asked.c_str());
  }
  switch (exit_code) {
    case 5:
      say("stopped; %s is partly normalized: run 'qelp normalize %s' again to finish it", path, path);
      return kExitInterrupted;
    case 0:
      if (!quiet) {
        if (result.fixed != 0) {
          char clipped[64] = "";
          if (result.clipped != 0) {
            std::snprintf(clipped, sizeof clipped, "; %llu sample%s clipped",
                          static_cast<unsigned long long>(result.clipped), result.clipped == 1 ? "" : "s");
          }
          tell("%s: amplified by %+.3f dB%s", path, result.gainDb, clipped);
        } else if (result.processed == 0) {
          tell("%s: no samples to normalize (empty data chunk)", path);
        } else if (result.peak == 0) {
          tell("%s: silent (peak 0), left unchanged", path);
        } else {
          tell("%s: peak %d of %d found, gain %+.3f dB applied", path, result.peak, result.bits == 8 ? 127 : 32767,
               result.gainDb);
        }
      }
      return kExitOk;
    case 3:
      if (!quiet) tell("%s: peak already at full scale, no amplification required", path);
      return kExitOk;
    default:
      if (stop_requested() && exit_code == 1) {
        say("stopped; %s was not changed", path);
        return kExitInterrupted;
      }
      say_failure(engine.m_lastErrorText, {path});
      return kExitFailed;
  }
}

int command_normalize(int argc, char** argv) {
  OptionReader reader(argc, argv, kOptions, sizeof kOptions / sizeof kOptions[0]);
  std::string path;
  int amplify_db = 0;
  bool quiet = false;
  bool verbose = false;
  bool debug = false;
  for (OptionReader::Item item = reader.next(); item.kind != OptionReader::Kind::end; item = reader.next()) {
    if (item.kind == OptionReader::Kind::error) return usage_error("normalize", reader.error());
    if (item.kind == OptionReader::Kind::argument) {
      if (!path.empty()) return usage_error("normalize", "one file at a time ('" + item.value + "' is one too many)");
      path = item.value;
      continue;
    }
    switch (item.id) {
      case kHelp:
        normalize_usage(stdout);
        return kExitOk;
      case kAmplify:
        if (!parse_amplify(item.value, &amplify_db)) return usage_error("normalize", amplify_range_error(item.value));
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
    }
  }
  if (path.empty()) return usage_error("normalize", "no file given");
  show_engine_trace(debug);
  install_stop_signals();
  CQelpsnd engine;
  const int status = normalize_file(engine, path.c_str(), amplify_db, quiet, path);
  if (status == kExitOk && verbose) {
    QelpsndNormResult result;
    qelpsnd_norm_result(&result);
    std::fprintf(result_stream(), "%s: %d-bit PCM, %llu data bytes rewritten\n", path.c_str(), result.bits,
                 static_cast<unsigned long long>(result.processed));
  }
  return status;
}

// The normalizer worker: peak normalization (scan pass, then gain pass) or a fixed amplification
// of a PCM WAVE file in place. It is handed its run: the path and the amplification (decimal dB,
// above 0 for fixed amplification), where to report progress and whether to stop; it writes what it
// found and how it ended into the run's outcome.
#pragma once

#include <atomic>
#include <cstdint>

namespace qelp {

// The worker's exit codes. A run cut off in pass 2 (a kill, a crash, a stop) leaves the journal
// beside the file (normalize_journal.h); the next run on the file finishes it, with its gain, from
// where it stopped, instead of starting a new one.
enum NormExitCode : int32_t {
  kNormCompleted = 0,    // every sample rewritten; completion reported
  kNormFailed = 1,       // file not opened, not usable PCM, read failure in pass 1, no buffer, stopped
  kNormPass2Failed = 2,  // read or write failure in pass 2: the file is only partly amplified
  kNormNotRequired = 3,  // the peak is already at full scale
  kNormNoTable = 4,      // no memory for the translation table
  kNormStopped = 5,      // stopped in pass 2 on request: the journal beside the file is current and
                         // the next run on the file finishes it
};

// How the last run of the worker ended and what it found. Written by the worker; read by others
// only after it has ended.
struct NormOutcome {
  int32_t exit_code = -1;
  int32_t error = 0;        // QelpsndError for a failure, 0 otherwise
  int32_t fixed = 0;        // 1: fixed amplification (no pass 1)
  int32_t bits = 0;         // 8 or 16, once the file was opened
  int32_t minimum = 0;      // pass-1 findings (peak normalization)
  int32_t maximum = 0;
  int32_t peak = 0;
  double gain = 0.0;        // the factor applied in pass 2
  double gain_db = 0.0;
  uint64_t processed = 0;     // data bytes pass 2 rewrote
  uint64_t clipped = 0;       // samples a fixed gain took beyond full scale (peak normalization: 0)
  int32_t resumed = 0;        // 1: the run finished an interrupted one found in the file's journal
                              // (its gain, not the one asked for)
  uint64_t resumed_from = 0;  // data bytes that run had rewritten
  char path[2048] = {};
  char message[2600] = {};  // the last line: failure text, "No amplification required; exiting." or "Done."
};

// Progress as the worker reports it: (percent, 0, 0) in pass 1, (0, percent, 0) in pass 2, (0, 0, 1)
// on completion. user is the run's progress_user.
using NormProgressCallback = void (*)(void* user, int scanned, int normed, int state);

// One run of the worker. The caller sets the arguments before the worker starts and keeps them
// unchanged until it has ended; the outcome may be read only once NormalizeThread has returned.
struct NormRun {
  const char* path = nullptr;     // the file to normalize
  const char* amplify = nullptr;  // gain in dB as text; nullptr, empty or <= 0: peak normalization
  NormProgressCallback progress = nullptr;
  void* progress_user = nullptr;
  // Set by another thread to stop a run that has changed nothing yet (during pass 1 or before
  // pass 2); once pass 2 runs, it finishes so that the file is never left partly amplified.
  std::atomic<bool> stop{false};
  // Set by another thread to stop at the next piece also in pass 2, leaving the journal current,
  // so that the next run on the file finishes this one (kNormStopped).
  std::atomic<bool> pause{false};
  NormOutcome outcome;
};

// The thread function. Returns the exit code; the run's outcome describes the run.
int NormalizeThread(NormRun& run);

}  // namespace qelp

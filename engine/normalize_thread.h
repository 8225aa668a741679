// The normalizer worker: peak normalization (scan pass, then gain pass) or a fixed amplification
// of a PCM WAVE file in place. It takes its arguments from the process environment (NORMFILE, the
// path; AMPLIFY, decimal dB, above 0 for fixed amplification) and reports progress through the
// installed progress callback.
#pragma once

#include <cstdint>

namespace qelp {

// The worker's exit codes.
enum NormExitCode : int32_t {
  kNormCompleted = 0,     // every sample rewritten; completion reported
  kNormFailed = 1,        // file not opened, not usable PCM, read failure in pass 1, no buffer, stopped
  kNormPass2Failed = 2,   // read or write failure in pass 2: the file is only partly amplified
  kNormNotRequired = 3,   // the peak is already at full scale
  kNormNoTable = 4,       // no memory for the translation table
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
  uint64_t processed = 0;   // data bytes pass 2 rewrote
  uint64_t clipped = 0;     // samples a fixed gain took beyond full scale (peak normalization: 0)
  char path[2048] = {};
  char message[2600] = {};  // the last line: failure text, "No amplification required; exiting." or "Done."
};

using NormProgressCallback = void (*)(int scanned, int normed, int state);

// The callback the worker reports through: (percent, 0, 0) in pass 1, (0, percent, 0) in pass 2,
// (0, 0, 1) on completion. Install before starting the worker.
void normalizer_set_progress_callback(NormProgressCallback callback);

// The thread function. Returns the exit code; the outcome describes the run.
int NormalizeThread();

// The outcome of the last run; read it only once NormalizeThread has returned.
const NormOutcome& normalizer_outcome();

// Readies the next run: clears a stop request and arms normalizer_wait_for_arguments. Call before
// starting the thread.
void normalizer_prepare();
// Blocks until the worker started after normalizer_prepare has taken its arguments from the
// environment, so that the environment is not changed under it.
void normalizer_wait_for_arguments();

// Asks the worker to stop while it has changed nothing yet (during pass 1 or before pass 2); once
// pass 2 runs, it finishes so that the file is never left partly amplified.
void normalizer_request_stop();
bool normalizer_stop_requested();

}  // namespace qelp

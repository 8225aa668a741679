// CQelpsnd's normalizer operations: StartNormalize hands the output path and the amplification
// text to the worker through the environment and starts it; ReportNormProgress and the getters
// carry its progress; the worker is joined before the next one starts and when the engine goes.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include "engine_state.h"
#include "failure.h"
#include "normalize_thread.h"
#include "normalizer_link.h"
#include "qelpsnd.h"

namespace qelp {

namespace {

// NormProgress: written by the worker, read by the caller's thread.
struct NormProgress {
  std::atomic<int32_t> scanned{0};
  std::atomic<int32_t> normed{0};
  std::atomic<int32_t> state{0};
};
NormProgress g_norm_progress;

enum WorkerPhase : int { kIdle = 0, kRunning = 1, kEnded = 2 };

// The one worker of the process. The phase turns kEnded (release) after the worker has written
// its outcome, so a reader that sees kEnded (acquire) may read the outcome.
struct NormWorker {
  std::thread thread;
  std::atomic<int> phase{kIdle};
  bool failure_taken = false;  // caller's thread only

  // At process exit or library unload no worker may be left running.
  ~NormWorker() {
    if (thread.joinable()) {
      normalizer_request_stop();
      thread.join();
    }
  }
};
NormWorker g_worker;

void worker_main() {
  NormalizeThread();
  g_worker.phase.store(kEnded, std::memory_order_release);
}

void keep_larger(std::atomic<int32_t>& value, int32_t candidate) {
  int32_t current = value.load(std::memory_order_relaxed);
  while (candidate > current && !value.compare_exchange_weak(current, candidate, std::memory_order_relaxed)) {
  }
}

__attribute__((format(printf, 3, 4))) void fail(CQelpsnd& engine, int code, const char* format, ...) {
  char text[sizeof engine.m_lastErrorText];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  failure_set(code, "%s", text);
  engine.m_lastError = code;
  std::snprintf(engine.m_lastErrorText, sizeof engine.m_lastErrorText, "%s", text);
}

}  // namespace

void ReportNormProgress(int scanned, int normed, int state) {
  keep_larger(g_norm_progress.scanned, scanned);
  keep_larger(g_norm_progress.normed, normed);
  g_norm_progress.state.store(state, std::memory_order_relaxed);
}

void normalizer_attach() {
  normalizer_set_progress_callback(ReportNormProgress);
  normalizer_reset_progress();
}

void normalizer_reset_progress() {
  g_norm_progress.scanned.store(0, std::memory_order_relaxed);
  g_norm_progress.normed.store(0, std::memory_order_relaxed);
}

void normalizer_detach() {
  if (!g_worker.thread.joinable()) return;
  normalizer_request_stop();
  g_worker.thread.join();
}

}  // namespace qelp

using namespace qelp;

void CQelpsnd::StartNormalize() {
  if (m_normalize == 0) return;
  m_lastError = QELP_OK;
  m_lastErrorText[0] = '\0';
  if (g_worker.phase.load(std::memory_order_acquire) == kRunning) {
    fail(*this, QELP_ERR_BUSY, "Cannot normalize %s: another normalization is still running", m_outPath);
    return;
  }
  if (g_activity == EngineActivity::converting) {
    fail(*this, QELP_ERR_STATE, "Cannot normalize %s while a conversion is open", m_outPath);
    return;
  }
  if (g_worker.thread.joinable()) g_worker.thread.join();
  if (m_outPath[0] == '\0') {
    fail(*this, QELP_ERR_ARGUMENT, "No file to normalize was given");
    return;
  }
  if (setenv("NORMFILE", m_outPath, 1) != 0 || setenv("AMPLIFY", m_amplify, 1) != 0) {
    fail(*this, QELP_ERR_MEMORY, "Cannot normalize %s: the environment cannot hold its arguments", m_outPath);
    return;
  }
  // A new run starts from nothing, so that the last run's 100 % and completion are not mistaken
  // for this one's.
  g_norm_progress.scanned.store(0, std::memory_order_relaxed);
  g_norm_progress.normed.store(0, std::memory_order_relaxed);
  g_norm_progress.state.store(0, std::memory_order_relaxed);

  normalizer_prepare();
  g_worker.failure_taken = false;
  g_worker.phase.store(kRunning, std::memory_order_relaxed);
  try {
    g_worker.thread = std::thread(worker_main);
  } catch (const std::system_error& e) {
    g_worker.phase.store(kIdle, std::memory_order_relaxed);
    fail(*this, QELP_ERR_MEMORY, "Cannot normalize %s: the worker thread cannot be started (%s)", m_outPath, e.what());
    return;
  }
  normalizer_wait_for_arguments();
}

int CQelpsnd::GetScanned() { return g_norm_progress.scanned.load(std::memory_order_relaxed); }

int CQelpsnd::GetNormed() { return g_norm_progress.normed.load(std::memory_order_relaxed); }

bool CQelpsnd::GetNormState() { return g_norm_progress.state.load(std::memory_order_relaxed) != 0; }

int CQelpsnd::GetNormExit() {
  const int phase = g_worker.phase.load(std::memory_order_acquire);
  if (phase == kIdle) return QELP_NORM_IDLE;
  if (phase == kRunning) return QELP_NORM_RUNNING;
  if (g_worker.thread.joinable()) g_worker.thread.join();
  const NormOutcome& outcome = normalizer_outcome();
  const bool failed = outcome.exit_code != kNormCompleted && outcome.exit_code != kNormNotRequired;
  if (failed && !g_worker.failure_taken) {
    g_worker.failure_taken = true;
    fail(*this, outcome.error != QELP_OK ? outcome.error : QELP_ERR_INPUT, "Cannot normalize %s: %s", outcome.path,
         outcome.message);
  }
  return outcome.exit_code;
}

extern "C" int qelpsnd_norm_result(QelpsndNormResult* result) {
  if (result == nullptr) return 0;
  std::memset(result, 0, sizeof *result);
  const int phase = g_worker.phase.load(std::memory_order_acquire);
  if (phase != kEnded) {
    result->exitCode = phase == kIdle ? QELP_NORM_IDLE : QELP_NORM_RUNNING;
    return 0;
  }
  const NormOutcome& outcome = normalizer_outcome();
  result->exitCode = outcome.exit_code;
  result->error = outcome.error;
  result->fixed = outcome.fixed;
  result->bits = outcome.bits;
  result->minimum = outcome.minimum;
  result->maximum = outcome.maximum;
  result->peak = outcome.peak;
  result->gainDb = outcome.gain_db;
  result->processed = outcome.processed;
  result->clipped = outcome.clipped;
  std::snprintf(result->message, sizeof result->message, "%s", outcome.message);
  return 1;
}

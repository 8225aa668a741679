// CQelpsnd's normalizer operations: StartNormalize hands the output path and the amplification
// text straight to the object's worker and starts it; the progress callback and the getters carry
// its progress; the worker is joined before the next one starts and when the engine goes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>

#include "engine_parts.h"
#include "failure.h"
#include "normalize_thread.h"
#include "normalizer_link.h"
#include "qelpsnd.h"

namespace qelp {

namespace {

// The normalization started last in the process, whatever engine object started it:
// qelpsnd_norm_result takes no engine object and reports this one, also after its engine is gone.
struct LastNormalization {
  std::mutex lock;
  const Normalizer* owner = nullptr;  // compared only, never followed
  uint64_t run = 0;                   // the owner's run number
  int exit_code = QELP_NORM_IDLE;     // QELP_NORM_RUNNING until the run has ended
  NormOutcome outcome;
};
LastNormalization g_last_normalization;

void keep_larger(std::atomic<int32_t>& value, int32_t candidate) {
  int32_t current = value.load(std::memory_order_relaxed);
  while (candidate > current && !value.compare_exchange_weak(current, candidate, std::memory_order_relaxed)) {
  }
}

}  // namespace

Normalizer::~Normalizer() {
  if (!thread_.joinable()) return;
  request_stop();
  thread_.join();
}

void Normalizer::join() {
  if (thread_.joinable()) thread_.join();
}

void Normalizer::progress_callback(void* user, int scanned, int normed, int state) {
  static_cast<Normalizer*>(user)->report_progress(scanned, normed, state);
}

void Normalizer::report_progress(int scanned, int normed, int state) {
  keep_larger(scanned_, scanned);
  keep_larger(normed_, normed);
  state_.store(state, std::memory_order_relaxed);
}

void Normalizer::reset_progress() {
  scanned_.store(0, std::memory_order_relaxed);
  normed_.store(0, std::memory_order_relaxed);
}

void Normalizer::worker_main(uint64_t run) {
  NormalizeThread(run_);
  {
    std::lock_guard<std::mutex> guard(g_last_normalization.lock);
    if (g_last_normalization.owner == this && g_last_normalization.run == run) {
      g_last_normalization.outcome = run_.outcome;
      g_last_normalization.exit_code = run_.outcome.exit_code;
    }
  }
  phase_.store(kEnded, std::memory_order_release);
}

bool Normalizer::start(const char* path, const char* amplify, Failure& failure) {
  if (running()) {
    failure.set(QELP_ERR_BUSY, "Cannot normalize %s: another normalization is still running", path);
    return false;
  }
  join();
  std::snprintf(path_, sizeof path_, "%s", path);
  std::snprintf(amplify_, sizeof amplify_, "%s", amplify);
  run_.path = path_;
  run_.amplify = amplify_;
  run_.progress = progress_callback;
  run_.progress_user = this;
  run_.stop.store(false, std::memory_order_relaxed);
  run_.pause.store(false, std::memory_order_relaxed);
  // A new run starts from nothing, so that the last run's 100 % and completion are not mistaken
  // for this one's.
  scanned_.store(0, std::memory_order_relaxed);
  normed_.store(0, std::memory_order_relaxed);
  state_.store(0, std::memory_order_relaxed);

  failure_taken_ = false;
  const uint64_t run = ++runs_started_;
  int previous_exit_code;
  {
    std::lock_guard<std::mutex> guard(g_last_normalization.lock);
    previous_exit_code = g_last_normalization.exit_code;
    g_last_normalization.owner = this;
    g_last_normalization.run = run;
    g_last_normalization.exit_code = QELP_NORM_RUNNING;
  }
  phase_.store(kRunning, std::memory_order_relaxed);
  try {
    thread_ = std::thread(&Normalizer::worker_main, this, run);
  } catch (const std::system_error& e) {
    phase_.store(kIdle, std::memory_order_relaxed);
    {
      std::lock_guard<std::mutex> guard(g_last_normalization.lock);
      if (g_last_normalization.owner == this && g_last_normalization.run == run) {
        g_last_normalization.exit_code =
            previous_exit_code == QELP_NORM_RUNNING ? QELP_NORM_IDLE : previous_exit_code;
      }
    }
    failure.set(QELP_ERR_MEMORY, "Cannot normalize %s: the worker thread cannot be started (%s)", path,
                e.what());
    return false;
  }
  return true;
}

int Normalizer::exit_code(Failure& failure) {
  const int phase = phase_.load(std::memory_order_acquire);
  if (phase == kIdle) return QELP_NORM_IDLE;
  if (phase == kRunning) return QELP_NORM_RUNNING;
  join();
  const NormOutcome& outcome = run_.outcome;
  const bool failed = outcome.exit_code != kNormCompleted && outcome.exit_code != kNormNotRequired;
  if (failed && !failure_taken_) {
    failure_taken_ = true;
    failure.set(outcome.error != QELP_OK ? outcome.error : QELP_ERR_INPUT, "Cannot normalize %s: %s",
                outcome.path, outcome.message);
  }
  return outcome.exit_code;
}

void ReportNormProgress(Normalizer& normalizer, int scanned, int normed, int state) {
  normalizer.report_progress(scanned, normed, state);
}

}  // namespace qelp

using namespace qelp;

void CQelpsnd::StartNormalize() {
  if (m_normalize == 0) return;
  EngineParts& parts = EngineParts::of(*this);
  parts.failure.clear();
  if (parts.normalizer.running()) {
    parts.failure.set(QELP_ERR_BUSY, "Cannot normalize %s: another normalization is still running",
                      m_outPath);
    return;
  }
  if (parts.activity == EngineActivity::converting) {
    parts.failure.set(QELP_ERR_STATE, "Cannot normalize %s while a conversion is open", m_outPath);
    return;
  }
  if (m_outPath[0] == '\0') {
    parts.failure.set(QELP_ERR_ARGUMENT, "No file to normalize was given");
    return;
  }
  // The worker takes its arguments from the object; the environment still names them for hosts
  // that look there, but nothing reads them back.
  if (setenv("NORMFILE", m_outPath, 1) != 0 || setenv("AMPLIFY", m_amplify, 1) != 0) {
    parts.failure.set(QELP_ERR_MEMORY, "Cannot normalize %s: the environment cannot hold its arguments",
                      m_outPath);
    return;
  }
  parts.normalizer.start(m_outPath, m_amplify, parts.failure);
}

void CQelpsnd::StopNormalize() { EngineParts::of(*this).normalizer.request_pause(); }

int CQelpsnd::GetScanned() { return EngineParts::of(*this).normalizer.scanned(); }

int CQelpsnd::GetNormed() { return EngineParts::of(*this).normalizer.normed(); }

bool CQelpsnd::GetNormState() { return EngineParts::of(*this).normalizer.state() != 0; }

int CQelpsnd::GetNormExit() {
  EngineParts& parts = EngineParts::of(*this);
  return parts.normalizer.exit_code(parts.failure);
}

extern "C" int qelpsnd_norm_result(QelpsndNormResult* result) {
  if (result == nullptr) return 0;
  std::memset(result, 0, sizeof *result);
  std::lock_guard<std::mutex> guard(g_last_normalization.lock);
  if (g_last_normalization.exit_code == QELP_NORM_IDLE ||
      g_last_normalization.exit_code == QELP_NORM_RUNNING) {
    result->exitCode = g_last_normalization.exit_code;
    return 0;
  }
  const NormOutcome& outcome = g_last_normalization.outcome;
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
  result->resumed = outcome.resumed;
  result->resumedFrom = outcome.resumed_from;
  std::snprintf(result->message, sizeof result->message, "%s", outcome.message);
  return 1;
}

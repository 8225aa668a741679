// The engine's side of the normalizer: one engine object's worker thread, the run it works on, the
// progress it reports, and the record of the last run in the process that qelpsnd_norm_result reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "failure.h"
#include "normalize_thread.h"
#include "qelpsnd.h"

namespace qelp {

class Normalizer {
 public:
  Normalizer() = default;
  // Stops a worker that has changed nothing yet and waits for the worker to end, so that no worker
  // outlives its engine object.
  ~Normalizer();
  Normalizer(const Normalizer&) = delete;
  Normalizer& operator=(const Normalizer&) = delete;

  // Starts the worker on path with the amplification text (both copied). False, with the failure
  // recorded, when a run is still going on or no thread can be started.
  bool start(const char* path, const char* amplify, Failure& failure);

  bool running() const { return phase_.load(std::memory_order_acquire) == kRunning; }

  // QELP_NORM_IDLE, QELP_NORM_RUNNING, or the exit code of the run that has ended (its worker
  // joined). A failed run is recorded in failure the first time it is seen.
  int exit_code(Failure& failure);

  // The progress callback: scanned and normed keep the larger value, state takes the third argument.
  void report_progress(int scanned, int normed, int state);
  // Sets scanned and normed to 0; state is left alone.
  void reset_progress();
  int scanned() const { return scanned_.load(std::memory_order_relaxed); }
  int normed() const { return normed_.load(std::memory_order_relaxed); }
  int state() const { return state_.load(std::memory_order_relaxed); }

  // Asks the worker to stop while it has changed nothing yet.
  void request_stop() { run_.stop.store(true, std::memory_order_relaxed); }
  // Asks the worker to stop at the next piece, in pass 2 too (the journal lets a later run finish).
  void request_pause() {
    run_.stop.store(true, std::memory_order_relaxed);
    run_.pause.store(true, std::memory_order_relaxed);
  }
  bool stop_requested() const { return run_.stop.load(std::memory_order_relaxed); }

 private:
  enum Phase : int { kIdle = 0, kRunning = 1, kEnded = 2 };

  static void progress_callback(void* user, int scanned, int normed, int state);
  void worker_main(uint64_t run);
  void join();

  std::thread thread_;
  // Turns kEnded (release) after the worker has written its outcome, so a reader that sees kEnded
  // (acquire) may read the outcome.
  std::atomic<int> phase_{kIdle};
  bool failure_taken_ = false;  // caller's thread only
  uint64_t runs_started_ = 0;   // caller's thread only
  NormRun run_;
  char path_[1024] = {};
  char amplify_[8] = {};
  std::atomic<int32_t> scanned_{0};
  std::atomic<int32_t> normed_{0};
  std::atomic<int32_t> state_{0};
};

// The progress callback as the engine installs it, for callers that report by hand.
void ReportNormProgress(Normalizer& normalizer, int scanned, int normed, int state);

}  // namespace qelp

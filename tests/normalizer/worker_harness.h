// Runs the normalizer worker on the test's own thread with a run of the test's own, and records
// what it reports: progress calls and diagnostic text.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "normalize_thread.h"
#include "wav_fixture.h"

namespace normalizer_test {

struct ProgressCall {
  int scanned, normed, state;
  bool operator==(const ProgressCall&) const = default;
};

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the file and runs the worker on it with this amplification (nullptr: none given).
  int run(const Bytes& file_bytes, const char* amplify);
  int run_on(const std::string& path, const char* amplify);

  // What the last run found and how it ended.
  const qelp::NormOutcome& outcome() const { return run_.outcome; }
  // Asks the running worker to stop (from its progress reports).
  void request_stop() { run_.stop.store(true); }

  std::vector<ProgressCall> calls() const;
  std::string diagnostics() const;
  bool completed() const;             // (0, 0, 1) was reported
  std::vector<int> pass_percents(int pass) const;

  std::string dir_;
  std::string path_;
  qelp::NormRun run_;

 public:
  // Called on the worker's thread at every progress report, after it is recorded.
  static std::function<void(const ProgressCall&)> on_progress;
};

}  // namespace normalizer_test

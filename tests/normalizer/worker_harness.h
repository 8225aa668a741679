// Runs the normalizer worker on the test's own thread with its arguments in the environment, and
// records what it reports: progress calls and diagnostic text.
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

  // Writes the file, sets NORMFILE and AMPLIFY (nullptr: unset) and runs the worker.
  int run(const Bytes& file_bytes, const char* amplify);
  int run_on(const std::string& path, const char* amplify);

  std::vector<ProgressCall> calls() const;
  std::string diagnostics() const;
  bool completed() const;             // (0, 0, 1) was reported
  std::vector<int> pass_percents(int pass) const;

  std::string dir_;
  std::string path_;


 public:
  // Called on the worker's thread at every progress report, after it is recorded.
  static std::function<void(const ProgressCall&)> on_progress;
};

}  // namespace normalizer_test

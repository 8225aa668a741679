#include "worker_harness.h"

#include <functional>

#include "qelpsnd.h"
#include "support/paths.h"

namespace normalizer_test {

namespace {

std::mutex g_mutex;
std::vector<ProgressCall> g_calls;
std::string g_text;

void record_progress(void*, int scanned, int normed, int state) {
  ProgressCall call{scanned, normed, state};
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.push_back(call);
  }
  if (WorkerTest::on_progress) WorkerTest::on_progress(call);
}

void record_text(int, const char* text, void*) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_text += text;
}

}  // namespace

std::function<void(const ProgressCall&)> WorkerTest::on_progress;

void WorkerTest::SetUp() {
  dir_ = qelp_test::scratch_dir();
  path_ = dir_ + "/in.wav";
  g_calls.clear();
  g_text.clear();
  on_progress = nullptr;
  run_.progress = record_progress;
  qelpsnd_set_diagnostics(record_text, nullptr);
}

void WorkerTest::TearDown() {
  qelpsnd_set_diagnostics(nullptr, nullptr);
  on_progress = nullptr;
}

int WorkerTest::run(const Bytes& file_bytes, const char* amplify) {
  write_file(path_, file_bytes);
  return run_on(path_, amplify);
}

int WorkerTest::run_on(const std::string& path, const char* amplify) {
  run_.path = path.c_str();
  run_.amplify = amplify;
  return qelp::NormalizeThread(run_);
}

std::vector<ProgressCall> WorkerTest::calls() const {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_calls;
}

std::string WorkerTest::diagnostics() const {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_text;
}

bool WorkerTest::completed() const {
  for (const ProgressCall& c : calls()) {
    if (c.state == 1) return true;
  }
  return false;
}

std::vector<int> WorkerTest::pass_percents(int pass) const {
  std::vector<int> out;
  for (const ProgressCall& c : calls()) {
    if (pass == 1 && c.scanned != 0) out.push_back(c.scanned);
    if (pass == 2 && c.normed != 0) out.push_back(c.normed);
  }
  return out;
}

}  // namespace normalizer_test

// The engine's side: StartNormalize hands the file and gain to the object's worker (and still names
// them in the environment), the getters show the worker's progress, the caller learns how the
// worker ended, and no worker outlives the engine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine_parts.h"
#include "normalize_thread.h"
#include "normalizer_link.h"
#include "pcmwav.h"
#include "qelpsnd.h"
#include "support/paths.h"
#include "wav_fixture.h"

using namespace normalizer_test;

namespace {

// Polls until the worker has ended; bounded so that a worker that never ends fails the test
// instead of hanging it.
int wait_for_end(CQelpsnd& engine) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  int code = engine.GetNormExit();
  while (code == QELP_NORM_RUNNING && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    code = engine.GetNormExit();
  }
  return code;
}

// Holds the worker at its "Pass 1" line until opened, through the diagnostics it writes.
struct Gate {
  std::mutex mutex;
  std::condition_variable cv;
  bool reached = false;
  bool open = false;

  static void sink(int, const char* text, void* user) {
    Gate* gate = static_cast<Gate*>(user);
    if (std::strstr(text, "Pass 1") == nullptr) return;
    std::unique_lock<std::mutex> lock(gate->mutex);
    gate->reached = true;
    gate->cv.notify_all();
    gate->cv.wait(lock, [gate] { return gate->open; });
  }
  bool wait_reached() {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, std::chrono::seconds(60), [this] { return reached; });
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    cv.notify_all();
  }
};

void quiet_sink(int, const char*, void*) {}

class EngineNormalize : public ::testing::Test {
 protected:
  void SetUp() override {
    qelpsnd_set_diagnostics(quiet_sink, nullptr);
    path_ = qelp_test::scratch_dir() + "/out.wav";
  }
  void TearDown() override { qelpsnd_set_diagnostics(nullptr, nullptr); }

  void start(CQelpsnd& engine, const Bytes& file, const char* amplify) {
    write_file(path_, file);
    engine.SetOutFile(path_.data());
    std::string text = amplify;
    engine.SetAmplifyDBLevel(text.data());
    engine.StartNormalize();
  }

  std::string path_;
};

}  // namespace

TEST_F(EngineNormalize, CompletesAndShowsItThroughTheGetters) {
  CQelpsnd engine;
  std::vector<int16_t> in(200000);
  for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<int16_t>(static_cast<int>(i % 32767) - 16383);
  start(engine, wav_bytes(pcm16(in)), "");
  ASSERT_EQ(engine.m_lastError, QELP_OK) << engine.m_lastErrorText;
  // The environment still names the arguments for hosts that look there.
  EXPECT_STREQ(std::getenv("NORMFILE"), path_.c_str());
  EXPECT_STREQ(std::getenv("AMPLIFY"), "");

  ASSERT_EQ(wait_for_end(engine), 0);
  EXPECT_EQ(engine.GetScanned(), 100);
  EXPECT_EQ(engine.GetNormed(), 100);
  EXPECT_TRUE(engine.GetNormState());
  EXPECT_EQ(engine.m_lastError, QELP_OK);

  QelpsndNormResult result;
  ASSERT_EQ(qelpsnd_norm_result(&result), 1);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.peak, 16383);
  EXPECT_EQ(result.bits, 16);
  EXPECT_EQ(result.fixed, 0);
  EXPECT_STREQ(result.message, "Done.");
  const Bytes out = read_file(path_);
  EXPECT_EQ(samples16(Bytes(out.begin() + 46, out.begin() + 50)), (std::vector<int16_t>{-32767, -32764}));

  // A second run on the same engine starts from zero progress and ends again.
  start(engine, wav_bytes(pcm16({100, -100})), "");
  ASSERT_EQ(engine.m_lastError, QELP_OK);
  ASSERT_EQ(wait_for_end(engine), 0);
  const Bytes second = read_file(path_);
  EXPECT_EQ(samples16(Bytes(second.begin() + 46, second.end())), (std::vector<int16_t>{32767, -32767}));
}

TEST_F(EngineNormalize, NoAmplificationRequiredEndsVisiblyWithoutCompletion) {
  CQelpsnd engine;
  const Bytes file = wav_bytes(pcm16({-32768, 5, 20000, -3}));
  start(engine, file, "0");
  ASSERT_EQ(engine.m_lastError, QELP_OK);
  EXPECT_EQ(wait_for_end(engine), 3);
  EXPECT_FALSE(engine.GetNormState());
  EXPECT_EQ(engine.GetNormed(), 0);
  EXPECT_EQ(engine.GetScanned(), 100);
  EXPECT_EQ(engine.m_lastError, QELP_OK);  // not a failure
  QelpsndNormResult result;
  ASSERT_EQ(qelpsnd_norm_result(&result), 1);
  EXPECT_STREQ(result.message, "No amplification required; exiting.");
  EXPECT_EQ(read_file(path_), file);
}

TEST_F(EngineNormalize, AFailedRunIsRecordedForTheCaller) {
  CQelpsnd engine;
  start(engine, Bytes(100, 0), "");
  EXPECT_EQ(wait_for_end(engine), 1);
  EXPECT_FALSE(engine.GetNormState());
  EXPECT_EQ(engine.m_lastError, QELP_ERR_INPUT);
  EXPECT_EQ(std::string(engine.m_lastErrorText), "Cannot normalize " + path_ + ": This is not a PCM WAV file.");
}

TEST_F(EngineNormalize, AFileLockedByAnotherOpenerIsRefusedAsBusy) {
  CQelpsnd engine;
  write_file(path_, wav_bytes(pcm16({1, 2})));
  int fd = ::open(path_.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  engine.SetOutFile(path_.data());
  engine.StartNormalize();
  EXPECT_EQ(wait_for_end(engine), 1);
  EXPECT_EQ(engine.m_lastError, QELP_ERR_BUSY);
  EXPECT_NE(std::string(engine.m_lastErrorText).find("in use by another conversion or normalization"),
            std::string::npos)
      << engine.m_lastErrorText;
  ::close(fd);
}

TEST_F(EngineNormalize, WhileTheWorkerRunsTheFileAndTheEngineRefuseOthers) {
  Gate gate;
  qelpsnd_set_diagnostics(Gate::sink, &gate);
  CQelpsnd engine;
  start(engine, wav_bytes(pcm16({1000, -2000, 3})), "");
  ASSERT_EQ(engine.m_lastError, QELP_OK);
  ASSERT_TRUE(gate.wait_reached());

  EXPECT_EQ(engine.GetNormExit(), QELP_NORM_RUNNING);
  QelpsndNormResult result;
  EXPECT_EQ(qelpsnd_norm_result(&result), 0);
  EXPECT_EQ(result.exitCode, QELP_NORM_RUNNING);

  // A second normalization is refused at once...
  engine.StartNormalize();
  EXPECT_EQ(engine.m_lastError, QELP_ERR_BUSY);
  // ...and so is any other opener of the file, such as a conversion onto it.
  qelp::pcmwav_file other;
  EXPECT_EQ(qelp::pcmwav_open(path_.c_str(), qelp::pcmwav_access::read_write, &other), 0);
  EXPECT_EQ(qelp::pcmwav_error_code(&other), QELP_ERR_BUSY);
  int fd = ::open(path_.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
  // A conversion, even onto another file, waits for the normalization to end.
  std::string in = QELP_TEST_DATA_DIR "/short_1280.ac3";
  std::string elsewhere = path_ + ".other.wav";
  engine.SetInFile(in.data());
  engine.SetOutFile(elsewhere.data());
  EXPECT_EQ(engine.InitEncoder(), 0);
  EXPECT_EQ(engine.m_lastError, QELP_ERR_BUSY);
  EXPECT_EQ(::access(elsewhere.c_str(), F_OK), -1);
  engine.SetOutFile(path_.data());

  gate.release();
  EXPECT_EQ(wait_for_end(engine), 0);
  EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);  // released with the worker's end
  ::close(fd);
  const Bytes out = read_file(path_);
  EXPECT_EQ(samples16(Bytes(out.begin() + 46, out.end())), (std::vector<int16_t>{16383, -32767, 49}));
}

TEST_F(EngineNormalize, DestroyingTheEngineStopsAWorkerThatChangedNothingAndJoinsIt) {
  Gate gate;
  qelpsnd_set_diagnostics(Gate::sink, &gate);
  auto engine = std::make_unique<CQelpsnd>();
  std::vector<int16_t> in(8 * 32768, 1000);
  const Bytes file = wav_bytes(pcm16(in));
  start(*engine, file, "");
  ASSERT_TRUE(gate.wait_reached());
  // Released only once the destructor has asked the worker to stop. (The normalizer lives until its
  // worker has ended, which waits for the release.)
  const qelp::Normalizer& normalizer = qelp::EngineParts::of(*engine).normalizer;
  std::thread releaser([&gate, &normalizer] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!normalizer.stop_requested() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    gate.release();
  });
  engine.reset();  // returns only when the worker has ended
  releaser.join();

  QelpsndNormResult result;
  ASSERT_EQ(qelpsnd_norm_result(&result), 1);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(read_file(path_), file);
  // The file is free again.
  qelp::pcmwav_file again;
  ASSERT_EQ(qelp::pcmwav_open(path_.c_str(), qelp::pcmwav_access::read_write, &again), 1);
  qelp::pcmwav_close(&again);
}

TEST_F(EngineNormalize, FixedAmplificationNeverScans) {
  CQelpsnd engine;
  std::vector<int16_t> in(300000, 1000);
  start(engine, wav_bytes(pcm16(in)), "6");
  ASSERT_EQ(engine.m_lastError, QELP_OK);
  int code = QELP_NORM_RUNNING;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (code == QELP_NORM_RUNNING && std::chrono::steady_clock::now() < deadline) {
    ASSERT_EQ(engine.GetScanned(), 0);
    code = engine.GetNormExit();
  }
  EXPECT_EQ(code, 0);
  EXPECT_EQ(engine.GetScanned(), 0);
  EXPECT_EQ(engine.GetNormed(), 100);
  EXPECT_TRUE(engine.GetNormState());
  const Bytes out = read_file(path_);
  EXPECT_EQ(samples16(Bytes(out.end() - 2, out.end())), (std::vector<int16_t>{1995}));
}

// A fixed gain says how many samples it took beyond full scale; peak normalization never clips.
TEST_F(EngineNormalize, FixedAmplificationCountsTheSamplesItClips) {
  CQelpsnd engine;
  std::vector<int16_t> in;
  for (int s = -32768; s <= 32767; s += 7) in.push_back(static_cast<int16_t>(s));
  const double gain = std::pow(10.0, 12 / 20.0);
  uint64_t expected = 0;
  for (int16_t s : in) expected += std::abs(s * gain) > 32767.0 ? 1 : 0;
  start(engine, wav_bytes(pcm16(in)), "12");
  ASSERT_EQ(wait_for_end(engine), 0);
  QelpsndNormResult result;
  ASSERT_EQ(qelpsnd_norm_result(&result), 1);
  EXPECT_EQ(result.clipped, expected);
  const Bytes file = read_file(path_);
  const std::vector<int16_t> out = samples16(Bytes(file.begin() + 46, file.end()));
  const auto at_full_scale = std::count_if(out.begin(), out.end(), [](int16_t s) { return s == 32767 || s == -32767; });
  EXPECT_EQ(static_cast<uint64_t>(at_full_scale), expected);

  start(engine, wav_bytes(pcm16(in)), "");  // peak: -32768 counts as 32767, no gain needed
  ASSERT_EQ(wait_for_end(engine), 3);
  std::vector<int16_t> quiet(1000);
  for (size_t i = 0; i < quiet.size(); ++i) quiet[i] = static_cast<int16_t>(i * 13 % 2001 - 1000);
  start(engine, wav_bytes(pcm16(quiet)), "");
  ASSERT_EQ(wait_for_end(engine), 0);
  ASSERT_EQ(qelpsnd_norm_result(&result), 1);
  EXPECT_EQ(result.clipped, 0u);
  EXPECT_GT(result.gainDb, 30.0);
}

TEST_F(EngineNormalize, NormalizeFlagOffStartsNothing) {
  CQelpsnd engine;
  const Bytes file = wav_bytes(pcm16({100}));
  write_file(path_, file);
  qelp::ReportNormProgress(qelp::EngineParts::of(engine).normalizer, 40, 30, 0);
  const int before = engine.GetNormExit();
  engine.SetNormalizeOff();
  engine.SetOutFile(path_.data());
  engine.StartNormalize();
  EXPECT_EQ(engine.GetNormExit(), before);
  EXPECT_EQ(engine.GetScanned(), 40);
  EXPECT_EQ(engine.GetNormed(), 30);
  EXPECT_EQ(read_file(path_), file);
}

TEST(NormProgress, KeepsTheLargerValuesAndTakesTheStateAsGiven) {
  CQelpsnd engine;  // the constructor starts scanned and normed at 0
  qelp::Normalizer& normalizer = qelp::EngineParts::of(engine).normalizer;
  EXPECT_EQ(engine.GetScanned(), 0);
  EXPECT_EQ(engine.GetNormed(), 0);
  qelp::ReportNormProgress(normalizer, 0, 0, 1);
  EXPECT_TRUE(engine.GetNormState());
  qelp::ReportNormProgress(normalizer, 30, 0, 0);
  qelp::ReportNormProgress(normalizer, 20, 0, 0);
  EXPECT_EQ(engine.GetScanned(), 30);
  EXPECT_FALSE(engine.GetNormState());
  qelp::ReportNormProgress(normalizer, 0, 70, 0);
  EXPECT_EQ(engine.GetScanned(), 30);
  EXPECT_EQ(engine.GetNormed(), 70);
  qelp::ReportNormProgress(normalizer, 0, 0, 1);
  EXPECT_TRUE(engine.GetNormState());
  // InitEncoder's reset leaves the state as it was.
  normalizer.reset_progress();
  EXPECT_EQ(engine.GetScanned(), 0);
  EXPECT_EQ(engine.GetNormed(), 0);
  EXPECT_TRUE(engine.GetNormState());
}

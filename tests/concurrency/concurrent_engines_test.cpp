// Engine objects at work on threads of their own at the same time: conversions, a normalization and
// a preview, each giving byte for byte what it gives alone on one thread. (Run under
// ThreadSanitizer by make sanitize.)
#include <gtest/gtest.h>

#include <functional>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "qelpsnd.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

using Bytes = std::vector<uint8_t>;
using qelp_test::data_path;
using qelp_test::read_bytes;

void silence(int, const char*, void*) {}

// Converts in to out with an object of its own; the output file's bytes, empty on any failure.
Bytes convert(const std::string& in, const std::string& out, int surround) {
  CQelpsnd engine;
  std::string i = in, o = out;
  engine.SetSurround(surround);
  engine.SetInFile(i.data());
  engine.SetOutFile(o.data());
  if (engine.InitEncoder() != 1) return {};
  while (engine.DecodeFrame() == 1) {
  }
  if (engine.m_lastError != QELP_OK) return {};
  return read_bytes(out);
}

// Normalizes path to its peak with an object of its own; the worker's exit code.
int normalize(const std::string& path) {
  CQelpsnd engine;
  std::string p = path;
  std::string peak = "";
  engine.SetOutFile(p.data());
  engine.SetAmplifyDBLevel(peak.data());
  engine.StartNormalize();
  if (engine.m_lastError != QELP_OK) return -100;
  int code = engine.GetNormExit();
  while (code == QELP_NORM_RUNNING) {
    std::this_thread::yield();
    code = engine.GetNormExit();
  }
  return code;
}

// Plays in on the (null) sound device with an object of its own; the frames it decoded, empty on any
// failure.
Bytes preview(const std::string& in) {
  CQelpsnd engine;
  std::string i = in;
  engine.SetInFile(i.data());
  if (engine.StartPlayer() != 1) return {};
  Bytes frames;
  int more = 1;
  while (more == 1) {
    more = engine.PlayNextFrame();
    if (more == 1)
      frames.insert(frames.end(), engine.m_pcmFrame, engine.m_pcmFrame + sizeof engine.m_pcmFrame);
  }
  if (engine.m_lastError != QELP_OK) return {};
  return frames;
}

// Runs the jobs on threads of their own, released together.
void run_together(const std::vector<std::function<void()>>& jobs) {
  std::latch start(static_cast<std::ptrdiff_t>(jobs.size()));
  std::vector<std::thread> threads;
  for (const auto& job : jobs) {
    threads.emplace_back([&start, &job] {
      start.arrive_and_wait();
      job();
    });
  }
  for (std::thread& t : threads) t.join();
}

class ConcurrentEngines : public testing::Test {
 protected:
  void SetUp() override {
    qelpsnd_set_diagnostics(silence, nullptr);
    qelpsnd_set_overwrite(1);
    dir_ = qelp_test::scratch_dir();
  }
  void TearDown() override { qelpsnd_set_diagnostics(nullptr, nullptr); }

  std::string out(const std::string& name) { return dir_ + "/" + name; }

  std::string dir_;
};

TEST_F(ConcurrentEngines, TwoConversionsAtOnceMatchTheirSingleThreadedOutputTwentyTimes) {
  // A 5.1 stream with coupling and a stereo one, both dithered, in different fold-downs.
  const std::string a = data_path("3f2r_lfe_cpl_48k_256.ac3");
  const std::string b = data_path("stereo_cpl_48k_128.ac3");
  const Bytes alone_a = convert(a, out("alone_a.wav"), 1);
  const Bytes alone_b = convert(b, out("alone_b.wav"), 0);
  ASSERT_GT(alone_a.size(), 46u + 6144u);
  ASSERT_GT(alone_b.size(), 46u + 6144u);

  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Bytes got_a;
    Bytes got_b;
    run_together(
        {[&] { got_a = convert(a, out("a.wav"), 1); }, [&] { got_b = convert(b, out("b.wav"), 0); }});
    ASSERT_TRUE(got_a == alone_a);
    ASSERT_TRUE(got_b == alone_b);
  }
}

TEST_F(ConcurrentEngines, ConvertingNormalizingAndPreviewingAtOnceEachMatchDoingItAlone) {
  const std::string convert_in = data_path("3f2r_lfe_48k_448.ac3");
  const std::string play_in = data_path("short_1280.ac3");
  const Bytes converted_alone = convert(convert_in, out("converted_alone.wav"), 1);
  ASSERT_FALSE(converted_alone.empty());
  const Bytes play_alone = preview(play_in);
  ASSERT_EQ(play_alone.size(), 10u * 6144u);

  // The file to normalize: a conversion of another stream, normalized once alone for reference.
  const Bytes to_normalize = convert(data_path("stereo_44k_192.ac3"), out("quiet.wav"), 1);
  ASSERT_FALSE(to_normalize.empty());
  qelp_test::write_bytes(out("normalized_alone.wav"), to_normalize);
  ASSERT_EQ(normalize(out("normalized_alone.wav")), 0);
  const Bytes normalized_alone = read_bytes(out("normalized_alone.wav"));
  ASSERT_FALSE(normalized_alone == to_normalize);

  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    qelp_test::write_bytes(out("normalized.wav"), to_normalize);
    Bytes converted;
    Bytes played;
    int normalized = -1;
    run_together({[&] { converted = convert(convert_in, out("converted.wav"), 1); },
                  [&] { normalized = normalize(out("normalized.wav")); },
                  [&] { played = preview(play_in); }});
    EXPECT_TRUE(converted == converted_alone);
    EXPECT_EQ(normalized, 0);
    EXPECT_TRUE(read_bytes(out("normalized.wav")) == normalized_alone);
    EXPECT_TRUE(played == play_alone);
  }
}

}  // namespace

// Engine objects at work on threads of their own at the same time: conversions, a normalization and
// a preview, each giving byte for byte what it gives alone on one thread. (Run under
// ThreadSanitizer by make sanitize.)
#include <gtest/gtest.h>

#include <cstdlib>
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

// What one conversion wrote and counted.
struct Counted {
  Bytes wave;
  uint32_t muted = 0;
  int32_t first_muted = -1;
  uint64_t skipped = 0;
  uint64_t after_last = 0;
  uint64_t clipped = 0;
  uint32_t rate = 0;
  std::string layout;  // as qelpsnd_conversion_stream tells it for this object

  bool operator==(const Counted&) const = default;
};

// Converts in to out with an object of its own, keeping its counts; an empty wave on any failure.
Counted convert_counting(const std::string& in, const std::string& out) {
  CQelpsnd engine;
  std::string i = in, o = out;
  engine.SetSurround(0);
  engine.SetInFile(i.data());
  engine.SetOutFile(o.data());
  Counted c;
  if (engine.InitEncoder() != 1) return c;
  QelpsndStreamInfo info{};
  if (qelpsnd_conversion_stream(&engine, &info) == 1) c.layout = info.layout;
  while (engine.DecodeFrame() == 1) {
  }
  if (engine.m_lastError != QELP_OK) return c;
  c.wave = read_bytes(out);
  c.muted = engine.m_framesMuted;
  c.first_muted = engine.m_firstMutedFrame;
  c.skipped = engine.m_bytesSkipped;
  c.after_last = engine.m_bytesAfterLast;
  c.clipped = engine.m_samplesClipped;
  c.rate = engine.m_samplingRate;
  return c;
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

// What a conversion counts (damaged frames, skipped bytes, samples the fold-down clipped) and the
// stream it describes belong to its object: two objects at work at once each count their own input
// exactly as alone.
TEST_F(ConcurrentEngines, EachObjectCountsItsOwnDamageAndClipping) {
  // A 5.1 stream of full-scale square waves overloads the fold-down.
  const std::string loud = out("loud.ac3");
  const std::string make = "ffmpeg -nostdin -v error -y -f lavfi -i "
                           "\"aevalsrc=exprs=sgn(sin(2*PI*220*t))|sgn(sin(2*PI*220*t))|sgn(sin(2*PI*220*t))|"
                           "0.5*sin(2*PI*50*t)|sgn(sin(2*PI*220*t))|0.9*sgn(sin(2*PI*330*t)):s=48000:d=1:c=5.1\""
                           " -c:a ac3 -b:a 448k " + loud;
  ASSERT_EQ(std::system(make.c_str()), 0) << "ffmpeg makes the loud stream";
  // A stereo stream with junk between its frames and a frame whose bits were flipped.
  const std::string damaged = data_path("damaged_junk_between.ac3");

  const Counted loud_alone = convert_counting(loud, out("loud_alone.wav"));
  const Counted damaged_alone = convert_counting(damaged, out("damaged_alone.wav"));
  ASSERT_FALSE(loud_alone.wave.empty());
  ASSERT_FALSE(damaged_alone.wave.empty());
  EXPECT_GT(loud_alone.clipped, 100u);
  EXPECT_EQ(loud_alone.muted, 0u);
  EXPECT_EQ(loud_alone.layout, "3/2");
  EXPECT_GT(damaged_alone.skipped, 0u);
  EXPECT_EQ(damaged_alone.clipped, 0u);
  EXPECT_NE(damaged_alone.layout, "3/2");

  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Counted got_loud;
    Counted got_damaged;
    run_together({[&] { got_loud = convert_counting(loud, out("loud.wav")); },
                  [&] { got_damaged = convert_counting(damaged, out("damaged.wav")); }});
    EXPECT_TRUE(got_loud == loud_alone);
    EXPECT_TRUE(got_damaged == damaged_alone);
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

// Engine objects are independent: two of them interleaved on one thread each convert as if alone,
// a failure stays with the object it happened to, a copy has parts of its own, and every conversion
// starts from a fresh decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine_parts.h"
#include "qelpsnd.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

using qelp_test::data_path;
using qelp_test::read_bytes;

void silence(int, const char*, void*) {}

class EngineObjects : public testing::Test {
 protected:
  void SetUp() override {
    qelpsnd_set_diagnostics(silence, nullptr);
    qelpsnd_set_overwrite(1);
    dir_ = qelp_test::scratch_dir();
  }
  void TearDown() override { qelpsnd_set_diagnostics(nullptr, nullptr); }

  std::string out(const std::string& name) { return dir_ + "/" + name; }

  static bool open(CQelpsnd& engine, const std::string& in, const std::string& output) {
    std::string i = in, o = output;
    engine.SetInFile(i.data());
    engine.SetOutFile(o.data());
    return engine.InitEncoder() == 1;
  }

  // A whole conversion by an object of its own; the file's bytes.
  std::vector<uint8_t> alone(const std::string& in, const std::string& output, int surround = 1) {
    CQelpsnd engine;
    engine.SetSurround(surround);
    EXPECT_TRUE(open(engine, in, output)) << engine.m_lastErrorText;
    while (engine.DecodeFrame() == 1) {
    }
    EXPECT_EQ(engine.m_lastError, QELP_OK) << engine.m_lastErrorText;
    return read_bytes(output);
  }

  std::string dir_;
};

TEST_F(EngineObjects, TwoObjectsInterleavedFrameByFrameEachWriteWhatTheyWriteAlone) {
  // Different layouts and fold-down switches, so that neither object's decoder state nor settings
  // could pass for the other's.
  const std::string a = data_path("3f2r_lfe_48k_448.ac3");
  const std::string b = data_path("stereo_cpl_48k_128.ac3");
  const std::vector<uint8_t> alone_a = alone(a, out("alone_a.wav"), 1);
  const std::vector<uint8_t> alone_b = alone(b, out("alone_b.wav"), 0);

  CQelpsnd first;
  CQelpsnd second;
  first.SetSurround(1);
  second.SetSurround(0);
  ASSERT_TRUE(open(first, a, out("a.wav"))) << first.m_lastErrorText;
  ASSERT_TRUE(open(second, b, out("b.wav"))) << second.m_lastErrorText;
  bool first_on = true;
  bool second_on = true;
  while (first_on || second_on) {
    if (first_on) first_on = first.DecodeFrame() == 1;
    if (second_on) second_on = second.DecodeFrame() == 1;
  }
  EXPECT_EQ(first.m_lastError, QELP_OK) << first.m_lastErrorText;
  EXPECT_EQ(second.m_lastError, QELP_OK) << second.m_lastErrorText;
  EXPECT_TRUE(read_bytes(out("a.wav")) == alone_a);
  EXPECT_TRUE(read_bytes(out("b.wav")) == alone_b);
}

TEST_F(EngineObjects, TheSameDitheredFileTwiceInOneObjectGivesTheSameBytes) {
  // The dither register and the transform's overlap would run on from the first conversion (and
  // from the other file in between) if the decoder were not started afresh.
  const std::string dithered = data_path("3f2r_lfe_48k_448.ac3");
  CQelpsnd engine;
  for (const char* name : {"one.wav", "between.wav", "two.wav"}) {
    ASSERT_TRUE(open(engine,
                     std::strcmp(name, "between.wav") == 0 ? data_path("stereo_44k_192.ac3") : dithered,
                     out(name)))
        << engine.m_lastErrorText;
    while (engine.DecodeFrame() == 1) {
    }
  }
  const std::vector<uint8_t> one = read_bytes(out("one.wav"));
  ASSERT_GT(one.size(), 46u + 6144u);
  EXPECT_TRUE(read_bytes(out("two.wav")) == one);
  EXPECT_TRUE(alone(dithered, out("three.wav")) == one);
}

TEST_F(EngineObjects, AFailureIsRecordedInTheObjectItHappenedTo) {
  CQelpsnd working;
  CQelpsnd failing;
  ASSERT_TRUE(open(working, data_path("stereo_48k_192.ac3"), out("w.wav")));
  std::string missing = dir_ + "/missing.ac3";
  EXPECT_NE(failing.SetInFile(missing.data()), 0);
  EXPECT_EQ(failing.m_lastError, QELP_ERR_INPUT);
  EXPECT_EQ(failing.DecodeFrame(), 0);
  EXPECT_EQ(failing.m_lastError, QELP_ERR_STATE);
  EXPECT_EQ(working.m_lastError, QELP_OK);
  EXPECT_STREQ(working.m_lastErrorText, "");
  // Each object has its own activity: the failing one may not end the other's conversion.
  failing.Terminate();
  EXPECT_EQ(working.DecodeFrame(), 1);
  working.Terminate();
  EXPECT_EQ(working.m_lastError, QELP_OK) << working.m_lastErrorText;
}

TEST_F(EngineObjects, ACopyTakesTheSettingsButHasPartsOfItsOwn) {
  CQelpsnd original;
  original.SetSurround(0);
  std::string amplify = "6";
  original.SetAmplifyDBLevel(amplify.data());
  ASSERT_TRUE(open(original, data_path("stereo_48k_192.ac3"), out("original.wav")));
  ASSERT_EQ(original.DecodeFrame(), 1);

  CQelpsnd copy(original);
  EXPECT_EQ(copy.m_surround, 0);
  EXPECT_STREQ(copy.m_amplify, "6");
  EXPECT_STREQ(copy.m_inPath, original.m_inPath);
  EXPECT_NE(&qelp::EngineParts::of(copy), &qelp::EngineParts::of(original));
  // The copy is not converting: the original's conversion is not its to go on with.
  EXPECT_EQ(copy.DecodeFrame(), 0);
  EXPECT_EQ(copy.m_lastError, QELP_ERR_STATE);
  ASSERT_TRUE(open(copy, data_path("short_1280.ac3"), out("copy.wav")));
  int frames = 0;
  while (copy.DecodeFrame() == 1) ++frames;
  EXPECT_EQ(frames, 10);

  // Assignment takes the counters and settings, and leaves each object's conversion where it was.
  CQelpsnd assigned;
  assigned = original;
  EXPECT_EQ(assigned.m_bytesDecoded, original.m_bytesDecoded);
  EXPECT_EQ(assigned.DecodeFrame(), 0);
  EXPECT_EQ(original.DecodeFrame(), 1);
  original.Terminate();
  EXPECT_TRUE(qelp_test::read_wave(out("original.wav")).ok);
}

TEST_F(EngineObjects, OneObjectPreviewsWhileAnotherConverts) {
  const std::string in = data_path("stereo_48k_192.ac3");
  const std::vector<uint8_t> expected = alone(in, out("alone.wav"));
  CQelpsnd converter;
  CQelpsnd player;
  std::string p = in;
  ASSERT_EQ(player.SetInFile(p.data()), 0);
  ASSERT_EQ(player.StartPlayer(), 1) << player.m_lastErrorText;
  ASSERT_TRUE(open(converter, in, out("converted.wav"))) << converter.m_lastErrorText;
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(player.PlayNextFrame(), 1) << player.m_lastErrorText;
    ASSERT_EQ(converter.DecodeFrame(), 1) << converter.m_lastErrorText;
  }
  EXPECT_EQ(player.StopPlayer(), 0);
  while (converter.DecodeFrame() == 1) {
  }
  EXPECT_TRUE(read_bytes(out("converted.wav")) == expected);
}

}  // namespace

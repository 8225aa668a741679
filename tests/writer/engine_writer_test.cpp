// The writer as the engine drives it: InitEncoder, DecodeFrame until the end, and the failures the
// engine passes on to its caller.
#include <gtest/gtest.h>

#include <string>

#include "engine/qelpsnd.h"
#include "platform/msacm/msacm.h"
#include "support/paths.h"
#include "test_codec.h"
#include "writer_fixture.h"

namespace writer_test {
namespace {

class EngineWriterTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = qelp_test::scratch_dir();
    test_codec_reset();
    ASSERT_EQ(acm_driver_register(test_codec_driver()), MMSYSERR_NOERROR);
    qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::never);
    qelpsnd_set_diagnostics([](int, const char*, void*) {}, nullptr);
  }
  void TearDown() override {
    acmSetFormatChooser(nullptr, nullptr, 0);
    acm_driver_unregister(test_codec_driver());
    qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::ask);
    qelpsnd_set_diagnostics(nullptr, nullptr);
  }

  // Converts the fixture to out with whatever chooser is installed; returns InitEncoder's result.
  int convert(CQelpsnd& engine, const std::string& out) {
    std::string in = qelp_test::data_path("stereo_48k_192.ac3");
    EXPECT_EQ(engine.SetInFile(in.data()), 0);
    std::string o = out;
    engine.SetOutFile(o.data());
    int started = engine.InitEncoder();
    if (started != 1) return started;
    int frames = 0;
    while (engine.DecodeFrame() == 1) ++frames;
    EXPECT_GT(frames, 10);
    return started;
  }

  std::string dir_;
};

TEST_F(EngineWriterTest, CancelledChooserFailsInitEncoderAndLeavesNoFile) {
  CQelpsnd engine;
  acmSetFormatChooser(choose_cancel, nullptr, 0);
  std::string out = dir_ + "/cancelled.wav";
  EXPECT_EQ(convert(engine, out), 0);
  EXPECT_EQ(engine.m_lastError, QELP_ERR_CANCELLED);
  EXPECT_NE(std::string(engine.m_lastErrorText).find(out), std::string::npos) << engine.m_lastErrorText;
  EXPECT_FALSE(file_exists(out));
  // The engine is reusable: the next conversion with the default format works.
  acmSetFormatChooser(nullptr, nullptr, 0);
  EXPECT_EQ(convert(engine, out), 1) << engine.m_lastErrorText;
  EXPECT_TRUE(file_exists(out));
}

TEST_F(EngineWriterTest, CarryOverCodecWritesTheSameDataAsPlainPcm) {
  CQelpsnd engine;
  std::string plain = dir_ + "/plain.wav";
  ASSERT_EQ(convert(engine, plain), 1) << engine.m_lastErrorText;
  const uint32_t plain_total = engine.m_outputBytes;

  test_codec().consume = 4096;
  static char name[] = "test";
  acmSetFormatChooser(choose_by_name, name, ACM_CHOOSERF_LOADED_DRIVERS);
  std::string carried = dir_ + "/carried.wav";
  ASSERT_EQ(convert(engine, carried), 1) << engine.m_lastErrorText;
  EXPECT_EQ(engine.m_outputBytes, plain_total);
  EXPECT_EQ(engine.m_bytesDecoded, plain_total + 6144);

  std::vector<uint8_t> a = read_all(plain);
  std::vector<uint8_t> b = read_all(carried);
  ASSERT_EQ(a.size() - 46, b.size() - kTestCodecHeader);
  EXPECT_EQ(plain_total % 6144, 0u);
  EXPECT_EQ(le32(b, kTestCodecDataSizeAt), plain_total);
  EXPECT_TRUE(std::equal(a.begin() + 46, a.end(), b.begin() + kTestCodecHeader));
}

}  // namespace
}  // namespace writer_test

// The engine's preview: StartPlayer, PlayNextFrame and StopPlayer on the null device, their counters,
// the end of the input, stopping, and the failures they report.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine_parts.h"
#include "player.h"
#include "player_test_support.h"
#include "qelpsnd.h"
#include "scripted_backend.h"
#include "support/paths.h"

namespace {

using namespace qelp;
using player_test::AudioDevice;
using player_test::PlayedLog;
using player_test::position_samples;
using player_test::Script;
using player_test::Watched;

// mono_48k_32.ac3: 63 frames of 128 bytes (32 kbit/s at 48 kHz), 2.016 s.
constexpr int kMonoFrames = 63;

class EnginePlayer : public ::testing::Test {
 protected:
  void SetUp() override {
    live_events_ = event_live_count();
    engine_ = std::make_unique<CQelpsnd>();
  }
  void TearDown() override {
    engine_.reset();
    // Whatever the object was doing, its device and event are gone with it.
    EXPECT_EQ(wave_out_live_count(), 0);
    EXPECT_EQ(event_live_count(), live_events_);
  }
  void use_input(const std::string& name) {
    std::string path = qelp_test::data_path(name);
    ASSERT_EQ(engine_->SetInFile(path.data()), 0) << engine_->m_lastErrorText;
  }
  // Closed means: no device, no event, no input, idle.
  void expect_closed() {
    EXPECT_EQ(parts().player.device, nullptr);
    EXPECT_EQ(parts().player.event, nullptr);
    EXPECT_FALSE(parts().reader.input_open());
    EXPECT_EQ(parts().activity, EngineActivity::idle);
    EXPECT_EQ(wave_out_live_count(), 0);
    EXPECT_EQ(event_live_count(), live_events_);
  }

  EngineParts& parts() { return EngineParts::of(*engine_); }

  std::unique_ptr<CQelpsnd> engine_;
  int live_events_ = 0;
};

TEST_F(EnginePlayer, WithAllTwentyBuffersQueuedPlayNextFrameReturnsOnlyAfterTheOldestIsDone) {
  use_input("stereo_48k_192.ac3");
  ASSERT_EQ(engine_->StartPlayer(), 1) << engine_->m_lastErrorText;
  EXPECT_EQ(parts().activity, EngineActivity::playing);
  EXPECT_EQ(parts().player.format.sampling_rate, 48000u);
  ASSERT_EQ(waveOutPause(parts().player.device), MMSYSERR_NOERROR);
  for (int k = 0; k < kPlayerHeaders; ++k) ASSERT_EQ(engine_->PlayNextFrame(), 1) << k;
  EXPECT_EQ(engine_->m_bytesDecoded, 20u * 6144u);

  int result = 0;
  DWORD position_after = 0;
  Watched call([&] {
    result = engine_->PlayNextFrame();
    position_after = position_samples(parts().player.device);
  });
  ASSERT_FALSE(call.finishes_before_waiting());
  ASSERT_EQ(waveOutRestart(parts().player.device), MMSYSERR_NOERROR);
  call.join();
  EXPECT_EQ(result, 1);
  EXPECT_GE(position_after, 1536u);  // the oldest buffer had been played to its end
  EXPECT_EQ(engine_->m_bytesDecoded, 21u * 6144u);
  EXPECT_EQ(engine_->StopPlayer(), 0);
  expect_closed();
}

TEST_F(EnginePlayer, PlayingToTheEndDeliversEveryFrameToTheDeviceThenCloses) {
  PlayedLog log;
  use_input("mono_48k_32.ac3");
  ASSERT_EQ(engine_->StartPlayer(), 1) << engine_->m_lastErrorText;
  EXPECT_EQ(engine_->m_bytesDecoded, 0u);
  std::vector<uint8_t> queued;
  int frames = 0;
  int more = 1;
  while (more != 0) {
    more = engine_->PlayNextFrame();
    queued.insert(queued.end(), engine_->m_pcmFrame, engine_->m_pcmFrame + 6144);
    if (more != 0) ++frames;
    ASSERT_LT(frames, 1000) << "the input never ended";
  }
  EXPECT_EQ(frames, kMonoFrames);
  // Every frame, and the silent frame queued at the end, was played to the end before the close.
  EXPECT_EQ(log.count(), static_cast<size_t>(kMonoFrames + 1));
  EXPECT_TRUE(log.bytes() == queued) << "the device played other sound than was queued";
  EXPECT_EQ(engine_->m_bytesDecoded, 6144u * (kMonoFrames + 1));
  EXPECT_EQ(engine_->m_inputPosition, engine_->m_inputSize);
  EXPECT_EQ(engine_->m_lastError, QELP_OK) << engine_->m_lastErrorText;
  expect_closed();

  // The same engine plays again.
  ASSERT_EQ(engine_->StartPlayer(), 1) << engine_->m_lastErrorText;
  EXPECT_EQ(engine_->m_bytesDecoded, 0u);
  EXPECT_EQ(engine_->PlayNextFrame(), 1);
  EXPECT_EQ(engine_->StopPlayer(), 0);
  expect_closed();
}

TEST_F(EnginePlayer, StopPlayerMidStreamReturnsWithoutWaitingForQueuedSound) {
  PlayedLog log;
  use_input("stereo_48k_192.ac3");
  ASSERT_EQ(engine_->StartPlayer(), 1) << engine_->m_lastErrorText;
  // With the device held still, a stop that waited for the queue would never return.
  ASSERT_EQ(waveOutPause(parts().player.device), MMSYSERR_NOERROR);
  for (int k = 0; k < kPlayerHeaders; ++k) ASSERT_EQ(engine_->PlayNextFrame(), 1) << k;
  size_t heard = log.count();
  EXPECT_EQ(heard, 0u);
  int result = -1;
  Watched call([&] { result = engine_->StopPlayer(); });
  EXPECT_TRUE(call.finishes_before_waiting());
  call.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(log.count(), heard);
  expect_closed();

  // Nothing is playing any more.
  EXPECT_EQ(engine_->PlayNextFrame(), 0);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_STATE);
  EXPECT_EQ(engine_->StopPlayer(), 0);
}

TEST_F(EnginePlayer, DeviceThatCannotBeOpenedIsReportedAndPlayNextFrameReturnsAtOnce) {
  AudioDevice device("qelp-no-such-device");
  use_input("stereo_48k_192.ac3");
  EXPECT_EQ(engine_->StartPlayer(), 0);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_DEVICE);
  std::string why = engine_->m_lastErrorText;
  EXPECT_NE(why.find("stereo_48k_192.ac3"), std::string::npos) << why;
  EXPECT_NE(why.find("qelp-no-such-device"), std::string::npos) << why;
  expect_closed();

  EXPECT_EQ(engine_->PlayNextFrame(), 0);  // no device: nothing to wait for
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_STATE);
  EXPECT_EQ(engine_->m_bytesDecoded, 0u);
}

TEST_F(EnginePlayer, StalledDeviceEndsThePreviewWithTheReason) {
  use_input("stereo_48k_192.ac3");
  ASSERT_EQ(engine_->StartPlayer(), 1) << engine_->m_lastErrorText;
  ASSERT_EQ(waveOutPause(parts().player.device), MMSYSERR_NOERROR);
  for (int k = 0; k < kPlayerHeaders; ++k) ASSERT_EQ(engine_->PlayNextFrame(), 1) << k;
  parts().player.stall_ms = 50;
  int result = engine_->PlayNextFrame();
  parts().player.stall_ms = kPlayerStallMs;
  EXPECT_EQ(result, 0);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_DEVICE);
  std::string why = engine_->m_lastErrorText;
  EXPECT_NE(why.find("stereo_48k_192.ac3"), std::string::npos) << why;
  EXPECT_NE(why.find("stopped playing"), std::string::npos) << why;
  expect_closed();
}

TEST_F(EnginePlayer, DeviceFailingMidStreamEndsThePreviewWithItsReason) {
  Script script(1u << 30);  // takes everything, hears nothing until it breaks
  use_input("stereo_48k_192.ac3");
  ASSERT_EQ(engine_->StartPlayer(), 1) << engine_->m_lastErrorText;
  ASSERT_EQ(engine_->PlayNextFrame(), 1);
  ASSERT_EQ(engine_->PlayNextFrame(), 1);
  script.fail();
  int calls = 0;
  while (engine_->PlayNextFrame() != 0) ASSERT_LT(++calls, kPlayerHeaders) << "the failure was never noticed";
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_DEVICE);
  std::string why = engine_->m_lastErrorText;
  EXPECT_NE(why.find("stereo_48k_192.ac3"), std::string::npos) << why;
  EXPECT_NE(why.find("broke down"), std::string::npos) << why;
  expect_closed();
}

TEST_F(EnginePlayer, InputThatCannotBeOpenedIsReportedBeforeAnyDeviceIsOpened) {
  use_input("stereo_48k_192.ac3");
  std::string missing = qelp_test::scratch_dir() + "/gone.ac3";
  std::snprintf(engine_->m_inPath, sizeof engine_->m_inPath, "%s", missing.c_str());
  int attempts = wave_out_open_attempts();
  EXPECT_EQ(engine_->StartPlayer(), 0);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_INPUT);
  EXPECT_NE(std::string(engine_->m_lastErrorText).find("gone.ac3"), std::string::npos) << engine_->m_lastErrorText;
  EXPECT_EQ(wave_out_open_attempts(), attempts);
  expect_closed();
}

TEST_F(EnginePlayer, SecondStartWhilePlayingIsRefusedAndTheFirstPlaysOn) {
  use_input("stereo_48k_192.ac3");
  ASSERT_EQ(engine_->StartPlayer(), 1) << engine_->m_lastErrorText;
  HWAVEOUT device = parts().player.device;
  EXPECT_EQ(engine_->StartPlayer(), 0);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_STATE);
  EXPECT_EQ(parts().player.device, device);
  EXPECT_EQ(wave_out_live_count(), 1);
  EXPECT_EQ(engine_->PlayNextFrame(), 1);
  EXPECT_EQ(engine_->StopPlayer(), 0);
  expect_closed();
}

TEST_F(EnginePlayer, DestroyingTheEngineWhilePlayingClosesTheDevice) {
  use_input("stereo_48k_192.ac3");
  ASSERT_EQ(engine_->StartPlayer(), 1) << engine_->m_lastErrorText;
  EXPECT_EQ(engine_->PlayNextFrame(), 1);
  EXPECT_EQ(engine_->PlayNextFrame(), 1);
  engine_.reset();
  // TearDown checks that nothing is left open: no device, no event.
}

TEST_F(EnginePlayer, AlsaNullDevicePlaysAFileToItsEnd) {
  if (!wave_out_alsa_available()) GTEST_SKIP() << "built without ALSA";
  AudioDevice device("alsa:null");
  PlayedLog log;
  use_input("mono_48k_32.ac3");
  ASSERT_EQ(engine_->StartPlayer(), 1) << engine_->m_lastErrorText;
  int frames = 0;
  while (engine_->PlayNextFrame() != 0) ASSERT_LT(++frames, 1000);
  EXPECT_EQ(frames, kMonoFrames);
  EXPECT_EQ(log.count(), static_cast<size_t>(kMonoFrames + 1));
  EXPECT_EQ(engine_->m_lastError, QELP_OK) << engine_->m_lastErrorText;
  expect_closed();
}

}  // namespace

// The player's ring of 20 device buffers: where frames go, when the caller waits, how frames of
// other sizes are cut into buffers, draining and closing.
#include <cstring>
#include <vector>

#include "failure.h"
#include "player.h"
#include "player_test_support.h"

namespace {

using namespace qelp;
using player_test::PlayedLog;
using player_test::position_samples;
using player_test::Watched;

StreamFormat format_of(uint32_t bytes_per_frame) {
  StreamFormat f{};
  f.channels = 2;
  f.sampling_rate = 48000;
  f.bytes_per_frame = bytes_per_frame;
  return f;
}

std::vector<uint8_t> frame_of(uint32_t bytes, uint8_t fill) { return std::vector<uint8_t>(bytes, fill); }

class PlayerRing : public ::testing::Test {
 protected:
  void SetUp() override { live_events_ = event_live_count(); }
  void TearDown() override {
    player_.close();
    EXPECT_EQ(player_.device, nullptr);
    EXPECT_EQ(player_.event, nullptr);
    EXPECT_EQ(wave_out_live_count(), 0);
    EXPECT_EQ(event_live_count(), live_events_);  // the event was released
  }
  bool queued(int i) { return (wave_header_flags(&player_.headers[i]) & WHDR_INQUEUE) != 0; }

  int live_events_ = 0;
  FailureRecord failure_;  // where the player records its failures
  CPlayer player_{failure_.failure};
};

TEST_F(PlayerRing, FrameSizeNotAMultipleOf1024FailsBeforeAnyDeviceIsOpened) {
  int attempts = wave_out_open_attempts();
  for (uint32_t bytes : {6000u, 1000u, 6145u, 1536u}) {
    EXPECT_EQ(player_.open(format_of(bytes)), 0) << bytes;
    EXPECT_EQ(failure_.code, QELP_ERR_ARGUMENT);
    EXPECT_NE(std::strstr(failure_.text, "multiple of 1024"), nullptr) << failure_.text;
  }
  EXPECT_EQ(wave_out_open_attempts(), attempts);
  EXPECT_EQ(event_live_count(), live_events_);  // no event made either
  EXPECT_EQ(player_.device, nullptr);
}

TEST_F(PlayerRing, TwentyFirstFrameWaitsForAndTakesTheBufferTheDeviceReturnedFirst) {
  ASSERT_EQ(player_.open(format_of(6144)), 1) << failure_.text;
  StreamFormat f = player_.format;
  // Hold the device still so that the order of events is ours to see.
  ASSERT_EQ(waveOutPause(player_.device), MMSYSERR_NOERROR);
  for (int k = 1; k <= 20; ++k) {
    std::vector<uint8_t> frame = frame_of(6144, static_cast<uint8_t>(k));
    ASSERT_EQ(player_.write_frame(f, frame.data()), 1);
  }
  for (int i = 0; i < kPlayerHeaders; ++i) ASSERT_TRUE(queued(i)) << i;

  std::vector<uint8_t> frame21 = frame_of(6144, 21);
  int written = 0;
  DWORD position_after = 0;
  Watched call([&] {
    written = player_.write_frame(f, frame21.data());
    position_after = position_samples(player_.device);
  });
  // With all 20 queued and the device still, the 21st frame has nowhere to go: the call waits.
  ASSERT_FALSE(call.finishes_before_waiting());
  ASSERT_EQ(waveOutRestart(player_.device), MMSYSERR_NOERROR);
  call.join();
  EXPECT_EQ(written, 1);
  // It returned only after the device had played the oldest buffer to its end...
  EXPECT_GE(position_after, 1536u);
  // ...and the frame went into that buffer, header 0; the others still hold frames 2 to 20.
  EXPECT_EQ(player_.buffers[0][0], 21);
  EXPECT_EQ(player_.buffers[0][6143], 21);
  for (int i = 1; i < kPlayerHeaders; ++i) EXPECT_EQ(player_.buffers[i][0], i + 1) << i;
}

TEST_F(PlayerRing, FramesSmallerOrLargerThanABufferArePlayedWholeAndInOrder) {
  PlayedLog log;
  // 1024 bytes: one short buffer per frame.
  ASSERT_EQ(player_.open(format_of(1024)), 1) << failure_.text;
  std::vector<uint8_t> expected;
  for (int k = 1; k <= 3; ++k) {
    std::vector<uint8_t> frame(1024);
    for (size_t j = 0; j < frame.size(); ++j) frame[j] = static_cast<uint8_t>(k * 7 + j);
    ASSERT_EQ(player_.write_frame(player_.format, frame.data()), 1);
    expected.insert(expected.end(), frame.begin(), frame.end());
  }
  ASSERT_EQ(player_.drain(), 1);
  EXPECT_EQ(log.count(), 3u);
  EXPECT_EQ(log.bytes(), expected);
  player_.close();

  // 7168 bytes: a full buffer and a short one per frame, in order.
  PlayedLog log2;
  ASSERT_EQ(player_.open(format_of(7168)), 1) << failure_.text;
  expected.clear();
  for (int k = 1; k <= 2; ++k) {
    std::vector<uint8_t> frame(7168);
    for (size_t j = 0; j < frame.size(); ++j) frame[j] = static_cast<uint8_t>(k * 13 + j / 3);
    ASSERT_EQ(player_.write_frame(player_.format, frame.data()), 1);
    expected.insert(expected.end(), frame.begin(), frame.end());
  }
  ASSERT_EQ(player_.drain(), 1);
  std::vector<PlayedLog::Buffer> played = log2.buffers();
  ASSERT_EQ(played.size(), 4u);
  EXPECT_EQ(played[0].data.size(), 6144u);
  EXPECT_EQ(played[1].data.size(), 1024u);
  EXPECT_EQ(log2.bytes(), expected);
}

TEST_F(PlayerRing, DrainReturnsOnlyWhenEveryQueuedBufferHasBeenPlayed) {
  PlayedLog log;
  ASSERT_EQ(player_.open(format_of(6144)), 1) << failure_.text;
  std::vector<uint8_t> frame = frame_of(6144, 9);
  for (int k = 0; k < 5; ++k) ASSERT_EQ(player_.write_frame(player_.format, frame.data()), 1);
  ASSERT_EQ(player_.drain(), 1);
  EXPECT_EQ(log.count(), 5u);
  EXPECT_GE(position_samples(player_.device), 5u * 1536u);
  for (int i = 0; i < kPlayerHeaders; ++i) EXPECT_FALSE(queued(i)) << i;
  ASSERT_EQ(player_.close(), 1);
  for (int i = 0; i < kPlayerHeaders; ++i) {
    EXPECT_EQ(player_.headers[i].dwFlags & WHDR_PREPARED, 0u) << "header " << i << " left prepared";
  }
}

TEST_F(PlayerRing, CloseCutsQueuedSoundShortWithoutWaitingForIt) {
  PlayedLog log;
  ASSERT_EQ(player_.open(format_of(6144)), 1) << failure_.text;
  ASSERT_EQ(waveOutPause(player_.device), MMSYSERR_NOERROR);
  std::vector<uint8_t> frame = frame_of(6144, 3);
  for (int k = 0; k < 12; ++k) ASSERT_EQ(player_.write_frame(player_.format, frame.data()), 1);
  Watched call([this] { player_.close(); });
  EXPECT_TRUE(call.finishes_before_waiting());
  call.join();
  EXPECT_EQ(log.count(), 0u);  // the device was still: nothing was heard, nothing waited for
}

TEST_F(PlayerRing, DeviceThatStopsGivingBuffersBackIsAFailureNotAHang) {
  ASSERT_EQ(player_.open(format_of(6144)), 1) << failure_.text;
  ASSERT_EQ(waveOutPause(player_.device), MMSYSERR_NOERROR);  // the device stops playing
  std::vector<uint8_t> frame = frame_of(6144, 5);
  for (int k = 0; k < kPlayerHeaders; ++k) ASSERT_EQ(player_.write_frame(player_.format, frame.data()), 1);
  player_.stall_ms = 50;
  int written = player_.write_frame(player_.format, frame.data());
  player_.stall_ms = kPlayerStallMs;
  EXPECT_EQ(written, 0);
  EXPECT_EQ(failure_.code, QELP_ERR_DEVICE);
  EXPECT_NE(std::strstr(failure_.text, "stopped playing"), nullptr) << failure_.text;
  // No buffer was overwritten while queued.
  for (int i = 0; i < kPlayerHeaders; ++i) EXPECT_TRUE(queued(i)) << i;
}

TEST_F(PlayerRing, WritingWithoutAnOpenDeviceIsRefused) {
  std::vector<uint8_t> frame = frame_of(6144, 1);
  EXPECT_EQ(player_.write_frame(format_of(6144), frame.data()), 0);
  EXPECT_EQ(failure_.code, QELP_ERR_STATE);
  EXPECT_EQ(player_.close(), 1);  // closing what is not open does nothing
}

}  // namespace

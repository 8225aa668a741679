// Source bytes the codec leaves unconsumed are carried over; the START flag goes to the first
// conversion call after the library is loaded; close flushes with END.
#include <gtest/gtest.h>

#include "writer_fixture.h"

namespace writer_test {
namespace {

std::vector<uint8_t> frames_concatenated(int count) {
  std::vector<uint8_t> all;
  for (int i = 0; i < count; ++i) {
    std::vector<uint8_t> f = frame_bytes(i);
    all.insert(all.end(), f.begin(), f.end());
  }
  return all;
}

TEST_F(WriterTest, CodecConsumingFourOfSixKilobytesGetsTheRestCarriedOver) {
  test_codec().consume = 4096;
  choose("test");
  std::string path = use_path("carry.wav");
  ASSERT_EQ(writer_.open(), 1) << failure_.text;
  const int frames = 7;
  ASSERT_TRUE(write_frames(0, frames));
  const std::vector<uint8_t> input = frames_concatenated(frames);

  const auto& calls = test_codec().calls;
  ASSERT_GE(calls.size(), 2u);
  // Each call is offered 6144 bytes of the stream: the 2048 carried-over bytes first (the last 2048
  // of the previous offer), the newly appended bytes behind them.
  size_t stream_offset = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    ASSERT_EQ(calls[i].offered, 6144u) << "call " << i;
    ASSERT_TRUE(std::equal(calls[i].bytes.begin(), calls[i].bytes.end(), input.begin() + stream_offset))
        << "call " << i << " was not offered the stream from byte " << stream_offset;
    if (i > 0) {
      EXPECT_TRUE(
          std::equal(calls[i - 1].bytes.begin() + 4096, calls[i - 1].bytes.end(), calls[i].bytes.begin()));
    }
    stream_offset += 4096;
  }
  // 7 frames = 43008 bytes; at 4096 per call the writer converts while 6144 or more are pending,
  // so 10 calls leave 2048 bytes pending.
  EXPECT_EQ(calls.size(), 10u);
  EXPECT_EQ(writer_.total, 10u * 4096);
  EXPECT_NE(out().find(" hehe\n"), std::string::npos);

  ASSERT_EQ(writer_.close(), 1) << failure_.text;
  // The END call got the 2048 bytes still pending and the file holds the whole stream in order.
  ASSERT_EQ(calls.size(), 12u);
  EXPECT_EQ(calls[10].flags, ACM_STREAMCONVERTF_END);
  EXPECT_EQ(calls[10].offered, 2048u);
  EXPECT_TRUE(std::equal(calls[10].bytes.begin(), calls[10].bytes.end(), input.end() - 2048));
  EXPECT_EQ(calls[11].offered, 0u);
  EXPECT_EQ(writer_.total, input.size());
  std::vector<uint8_t> f = read_all(path);
  ASSERT_EQ(f.size(), kTestCodecHeader + input.size());
  EXPECT_TRUE(std::equal(input.begin(), input.end(), f.begin() + kTestCodecHeader));
  EXPECT_EQ(le32(f, kTestCodecDataSizeAt), input.size());
}

TEST_F(WriterTest, CloseDrainsWhatTheCodecHeldBackOverSeveralEndCalls) {
  test_codec().hold_until_end = true;
  test_codec().suggested = 1000;  // the held 3 frames need 19 END calls of 1000 bytes
  choose("test");
  std::string path = use_path("held.wav");
  ASSERT_EQ(writer_.open(), 1) << failure_.text;
  ASSERT_TRUE(write_frames(0, 3));
  EXPECT_EQ(writer_.total, 0u);  // nothing came out before close
  ASSERT_EQ(writer_.close(), 1) << failure_.text;
  const std::vector<uint8_t> input = frames_concatenated(3);
  EXPECT_EQ(writer_.total, input.size());
  std::vector<uint8_t> f = read_all(path);
  ASSERT_EQ(f.size(), kTestCodecHeader + input.size());
  EXPECT_TRUE(std::equal(input.begin(), input.end(), f.begin() + kTestCodecHeader));
  for (size_t i = 3; i < test_codec().calls.size(); ++i)
    EXPECT_EQ(test_codec().calls[i].flags, ACM_STREAMCONVERTF_END);
}

TEST_F(WriterTest, StartFlagOnlyOnTheFirstConversionCallAfterLoad) {
  choose("test");
  use_path("first.wav");
  ASSERT_EQ(writer_.open(), 1);
  ASSERT_TRUE(write_frames(0, 3));
  ASSERT_EQ(writer_.close(), 1);
  auto calls = test_codec().calls;
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].flags, ACM_STREAMCONVERTF_START);
  EXPECT_EQ(calls[1].flags, 0u);
  EXPECT_EQ(calls[2].flags, 0u);
  EXPECT_EQ(calls[3].flags, ACM_STREAMCONVERTF_END);
  EXPECT_NE(out().find("\routput_wavefile_write() : initializing..."), std::string::npos);

  // A second conversion with the same writer (the same engine object): no START, no "initializing" line.
  test_codec().calls.clear();
  captured_[0].clear();
  use_path("second.wav");
  ASSERT_EQ(writer_.open(), 1);
  ASSERT_TRUE(write_frames(0, 2));
  ASSERT_EQ(writer_.close(), 1);
  calls = test_codec().calls;
  ASSERT_EQ(calls.size(), 3u);
  for (const auto& c : calls) EXPECT_EQ(c.flags & ACM_STREAMCONVERTF_START, 0u);
  EXPECT_EQ(out().find("initializing"), std::string::npos);
}

TEST_F(WriterTest, ProgressLineEachTimeTheUpperSixteenBitsChange) {
  use_path("progress.wav");
  ASSERT_EQ(writer_.open(), 1);
  ASSERT_TRUE(write_frames(0, 200));  // 1228800 bytes: crosses 1 MiB once, 65536-byte steps 18 times
  ASSERT_EQ(writer_.close(), 1);
  size_t lines = 0;
  for (size_t at = out().find("mbytes written"); at != std::string::npos;
       at = out().find("mbytes written", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 1228800u / 65536u);
  EXPECT_NE(out().find("\routput_wavefile_write() : mbytes written = [1] "), std::string::npos);
}

}  // namespace
}  // namespace writer_test

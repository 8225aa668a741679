// The header the writer reserves and rewrites: 46 + c bytes with an 18 + c byte fmt chunk.
#include <gtest/gtest.h>

#include "writer_fixture.h"

namespace writer_test {
namespace {

TEST_F(WriterTest, DefaultFormatIsSixteenBitPcmWithEighteenByteFmtChunk) {
  std::string path = use_path("pcm.wav");
  ASSERT_EQ(writer_.open(), 1) << failure_.text;
  ASSERT_TRUE(write_frames(0, 5));
  ASSERT_EQ(writer_.close(), 1) << failure_.text;

  std::vector<uint8_t> f = read_all(path);
  const uint32_t total = 5 * 6144;
  ASSERT_EQ(f.size(), 46u + total);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "RIFF");
  EXPECT_EQ(le32(f, 4), 38u + total);
  EXPECT_EQ(std::string(f.begin() + 8, f.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(le32(f, 16), 18u);
  EXPECT_EQ(le16(f, 20), 1u);  // PCM
  EXPECT_EQ(le16(f, 22), 2u);
  EXPECT_EQ(le32(f, 24), 48000u);
  EXPECT_EQ(le32(f, 28), 192000u);
  EXPECT_EQ(le16(f, 32), 4u);
  EXPECT_EQ(le16(f, 34), 16u);
  EXPECT_EQ(le16(f, 36), 0u);  // extra size, written also for PCM
  EXPECT_EQ(std::string(f.begin() + 38, f.begin() + 42), "data");
  EXPECT_EQ(le32(f, 42), total);
  EXPECT_EQ(writer_.total, total);
  for (int i = 0; i < 5; ++i) {
    std::vector<uint8_t> expected = frame_bytes(i);
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), f.begin() + 46 + 6144 * i)) << "frame " << i;
  }
  EXPECT_NE(out().find("\nCodec selected : PCM (wFormatTag = 0x1)"), std::string::npos) << out();
  EXPECT_NE(out().find("\noutput_wavefile_open() : Reserved WAVheader, 46 bytes"), std::string::npos);
  EXPECT_NE(out().find("\ncbwritten 46\nwfxsize 18\nm_lpoutwfx->cbSize 0"), std::string::npos);
}

TEST_F(WriterTest, FormatWithExtraBytesPutsThemInTheFmtChunkAndMovesTheData) {
  test_codec().extra_size = 5;  // odd on purpose: no padding anywhere
  choose("test");
  std::string path = use_path("extra.wav");
  ASSERT_EQ(writer_.open(), 1) << failure_.text;
  ASSERT_TRUE(write_frames(0, 3));
  ASSERT_EQ(writer_.close(), 1) << failure_.text;

  // 46 + 5 bytes of the format, 12 of the fact chunk (the format is not PCM).
  std::vector<uint8_t> f = read_all(path);
  const uint32_t total = 3 * 6144;
  ASSERT_EQ(f.size(), 63u + total);
  EXPECT_EQ(le32(f, 4), 55u + total);
  EXPECT_EQ(le32(f, 16), 23u);
  EXPECT_EQ(le16(f, 20), kTestTag);
  EXPECT_EQ(le16(f, 36), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(f[38 + i], 0x10 + i);
  EXPECT_EQ(std::string(f.begin() + 43, f.begin() + 47), "fact");
  EXPECT_EQ(le32(f, 47), 4u);
  EXPECT_EQ(le32(f, 51), 3u * 1536);  // sample frames per channel
  EXPECT_EQ(std::string(f.begin() + 55, f.begin() + 59), "data");
  EXPECT_EQ(le32(f, 59), total);
  std::vector<uint8_t> first = frame_bytes(0);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), f.begin() + 63));
  EXPECT_NE(out().find("\nCodec selected : Test Codec (wFormatTag = 0x7A01)"), std::string::npos) << out();
}

// Every format but PCM carries the fact chunk, IEEE float too; the count is the sample frames per
// channel at the output's rate, whatever the codec made of the bytes.
TEST_F(WriterTest, FormatsOtherThanPcmCountTheirSampleFramesInAFactChunk) {
  for (const char* name : {"float", "float-mono", "test"}) {
    SCOPED_TRACE(name);
    test_codec_reset();
    choose(name);
    std::string path = use_path(std::string(name) + ".wav");
    ASSERT_EQ(writer_.open(), 1) << failure_.text;
    ASSERT_TRUE(write_frames(0, 7));
    ASSERT_EQ(writer_.close(), 1) << failure_.text;
    std::vector<uint8_t> f = read_all(path);
    const uint32_t c = le16(f, 36);
    const size_t fact = 38 + c;
    ASSERT_EQ(std::string(f.begin() + fact, f.begin() + fact + 4), "fact");
    EXPECT_EQ(le32(f, fact + 4), 4u);
    EXPECT_EQ(le32(f, fact + 8), 7u * 1536);
    EXPECT_EQ(std::string(f.begin() + fact + 12, f.begin() + fact + 16), "data");
    EXPECT_EQ(le32(f, fact + 16), writer_.total);
    EXPECT_EQ(f.size(), fact + 20 + writer_.total);
    EXPECT_EQ(le32(f, 4), f.size() - 8);
  }
  // PCM of every width keeps the header it always had: no fact chunk.
  for (const char* name : {"pcm8", "pcm24-mono"}) {
    SCOPED_TRACE(name);
    choose(name);
    std::string path = use_path(std::string(name) + ".wav");
    ASSERT_EQ(writer_.open(), 1) << failure_.text;
    ASSERT_TRUE(write_frames(0, 2));
    ASSERT_EQ(writer_.close(), 1) << failure_.text;
    std::vector<uint8_t> f = read_all(path);
    EXPECT_EQ(std::string(f.begin() + 38, f.begin() + 42), "data");
    EXPECT_EQ(f.size(), 46u + writer_.total);
  }
}

TEST_F(WriterTest, EmptyConversionStillGetsAValidHeader) {
  std::string path = use_path("empty.wav");
  ASSERT_EQ(writer_.open(), 1);
  // From the open on, the file is a valid WAVE file without data.
  std::vector<uint8_t> provisional = read_all(path);
  ASSERT_EQ(provisional.size(), 46u);
  EXPECT_EQ(std::string(provisional.begin(), provisional.begin() + 4), "RIFF");
  EXPECT_EQ(le32(provisional, 4), 38u);
  EXPECT_EQ(std::string(provisional.begin() + 38, provisional.begin() + 42), "data");
  EXPECT_EQ(le32(provisional, 42), 0u);
  ASSERT_EQ(writer_.close(), 1);
  EXPECT_EQ(read_all(path), provisional);
  std::vector<uint8_t> f = read_all(path);
  ASSERT_EQ(f.size(), 46u);
  EXPECT_EQ(le32(f, 4), 38u);
  EXPECT_EQ(le32(f, 42), 0u);
}

// A file cut off at any moment (the process killed) is a valid WAVE file: while it is written, its
// header's sizes follow the data that has reached the file, never claiming more than it holds.
TEST_F(WriterTest, TheHeaderFollowsTheDataWhileTheFileIsWritten) {
  std::string path = use_path("growing.wav");
  ASSERT_EQ(writer_.open(), 1) << failure_.text;
  uint32_t last_data_size = 0;
  for (int frame = 0; frame < 40; ++frame) {
    ASSERT_TRUE(write_frames(frame, 1));
    const std::vector<uint8_t> f = read_all(path);
    ASSERT_GE(f.size(), 46u);
    const uint32_t data_size = le32(f, 42);
    EXPECT_EQ(data_size, f.size() - 46) << "frame " << frame;  // the data in the file, whole
    EXPECT_EQ(le32(f, 4), 38u + data_size);
    EXPECT_EQ(data_size % 4, 0u);
    EXPECT_GE(data_size, last_data_size);
    last_data_size = data_size;
  }
  // Staged buffers went out on the way: the header is never more than one buffer behind.
  EXPECT_GE(last_data_size, 40u * 6144 - qelp::kOutputStagingBytes);
  ASSERT_EQ(writer_.close(), 1);
  EXPECT_EQ(le32(read_all(path), 42), 40u * 6144);
}

TEST_F(WriterTest, TheFactCountFollowsTheDataToo) {
  test_codec_reset();
  choose("test");
  std::string path = use_path("growing_fact.wav");
  ASSERT_EQ(writer_.open(), 1) << failure_.text;
  for (int frame = 0; frame < 40; ++frame) ASSERT_TRUE(write_frames(frame, 1));
  const std::vector<uint8_t> f = read_all(path);
  const uint32_t data_size = le32(f, kTestCodecDataSizeAt);
  EXPECT_EQ(data_size, f.size() - kTestCodecHeader);
  EXPECT_GT(data_size, 0u);
  EXPECT_EQ(std::string(f.begin() + 38, f.begin() + 42), "fact");
  const uint32_t fact = le32(f, 46);
  EXPECT_GT(fact, 0u);
  EXPECT_LE(fact, 40u * 1536);
  ASSERT_EQ(writer_.close(), 1);
}

TEST_F(WriterTest, PcmChoiceDropsExtraBytesTheChooserLeftInTheBuffer) {
  // A chooser that fills the format by hand and leaves the extra size as the writer preset it (41).
  acmSetFormatChooser(
      [](ACMFORMATCHOOSEA* afc, const AcmFormatOffer*, size_t, void*) -> MMRESULT {
        WORD extra = afc->pwfx->cbSize;
        *afc->pwfx = WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, extra};
        std::snprintf(afc->szFormatTag, sizeof afc->szFormatTag, "PCM");
        return MMSYSERR_NOERROR;
      },
      nullptr, 0);
  std::string path = use_path("pcm_by_hand.wav");
  ASSERT_EQ(writer_.open(), 1) << failure_.text;
  ASSERT_EQ(writer_.close(), 1);
  std::vector<uint8_t> f = read_all(path);
  ASSERT_EQ(f.size(), 46u);
  EXPECT_EQ(le16(f, 36), 0u);
}

}  // namespace
}  // namespace writer_test

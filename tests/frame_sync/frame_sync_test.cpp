// Sync search, syncinfo and the CRC over the whole frame, on the fixtures and on bytes made to
// fail each check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ac3/bitstream.h"
#include "ac3/crc16.h"
#include "ac3/frame_size_table.h"
#include "ac3/stages.h"
#include "qelpsnd.h"
#include "support/ac3_frame_writer.h"
#include "support/decoder_feed.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

std::vector<uint8_t> g_source;
size_t g_pos = 0;
size_t g_chunk = 2047;

// Delivers the source in chunks of g_chunk bytes, then zeros for ever (as the engine does).
int fill(void*, uint8_t** start, uint8_t** end) {
  static std::vector<uint8_t> zeros(2047, 0);
  if (g_pos >= g_source.size()) {
    *start = zeros.data();
    *end = zeros.data() + zeros.size();
    return 0;
  }
  size_t n = std::min(g_chunk, g_source.size() - g_pos);
  *start = g_source.data() + g_pos;
  *end = *start + n;
  g_pos += n;
  return 0;
}

std::string g_messages;
void capture(int stream, const char* text, void*) {
  if (stream == 2) g_messages += text;
}

class FrameSync : public testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    qelpsnd_set_diagnostics(capture, nullptr);
  }
  void TearDown() override { qelpsnd_set_diagnostics(nullptr, nullptr); }

  void feed(const std::vector<uint8_t>& bytes, size_t chunk) {
    g_source = bytes;
    g_pos = 0;
    g_chunk = chunk;
    ac3::decoder_config config{0, fill, 2, 0, nullptr};
    ac3::decoder_init(dec_, config);
    ac3::chunk_discard(dec_);
    origin_ = ac3::input_bytes_consumed(*dec_);
  }

  uint64_t consumed() { return ac3::input_bytes_consumed(*dec_) - origin_; }

  decoder_test::test_decoder dec_;
  uint64_t origin_ = 0;
};

std::vector<uint8_t> fixture(const char* name) { return qelp_test::read_bytes(qelp_test::data_path(name)); }

TEST_F(FrameSync, EveryFrameOfEveryCleanFixturePassesItsCrc) {
  for (const char* name : {"stereo_48k_192.ac3", "stereo_44k_32.ac3", "3f2r_lfe_32k_384.ac3",
                           "3f2r_lfe_44k_640.ac3", "mono_48k_32.ac3", "3f2r_lfe_48k_640.ac3"}) {
    auto bytes = fixture(name);
    feed(bytes, 2047);
    uint64_t expected_end = 0;
    int frames = 0;
    while (consumed() < bytes.size()) {
      ac3::read_syncinfo(dec_);
      const ac3::syncinfo& si = dec_->syncinfo;
      ASSERT_EQ(dec_->error_flag, 0) << name << " frame " << frames;
      expected_end += 2u * si.frame_size;
      ASSERT_EQ(consumed(), expected_end) << name << " frame " << frames;
      ++frames;
    }
    EXPECT_EQ(consumed(), bytes.size()) << name;
    EXPECT_TRUE(g_messages.empty()) << g_messages;
  }
}

TEST_F(FrameSync, At44kHzTheFrameSizeFollowsTheLowBitOfTheSizeCode) {
  auto bytes = fixture("stereo_44k_32.ac3");
  feed(bytes, 2047);
  std::vector<int> sizes;
  while (consumed() < bytes.size()) {
    ac3::read_syncinfo(dec_);
    const ac3::syncinfo& si = dec_->syncinfo;
    ASSERT_EQ(si.sampling_rate, 44100u);
    ASSERT_EQ(si.bit_rate, 32u);
    ASSERT_EQ(si.frame_size, (si.frmsizecod & 1) ? 70 : 69);
    sizes.push_back(si.frame_size);
  }
  EXPECT_NE(std::find(sizes.begin(), sizes.end(), 69), sizes.end());
  EXPECT_NE(std::find(sizes.begin(), sizes.end(), 70), sizes.end());
}

TEST_F(FrameSync, FindsTheSyncWordSplitAcrossChunksAndAfterJunk) {
  auto clean = fixture("stereo_48k_192.ac3");
  std::vector<uint8_t> bytes = {0x01, 0x0B, 0x0B, 0x00, 0x77, 0x0B};  // near misses
  bytes.insert(bytes.end(), clean.begin(), clean.begin() + 768 * 3);
  for (size_t chunk : {1u, 2u, 3u, 7u, 2047u}) {
    feed(bytes, chunk);
    for (int f = 0; f < 3; ++f) {
      ac3::read_syncinfo(dec_);
      EXPECT_EQ(dec_->error_flag, 0) << "chunk " << chunk << " frame " << f;
      EXPECT_EQ(ac3::last_sync_end(*dec_), origin_ + 6 + 768u * f + 2) << "chunk " << chunk;
    }
    EXPECT_EQ(consumed(), bytes.size());
  }
}

TEST_F(FrameSync, AFailedCrcGivesOneSilentFrameAndTheSearchGoesOnAfterItsSyncWord) {
  auto bytes = fixture("stereo_48k_192.ac3");
  bytes.resize(768 * 3);
  bytes[768 + 500] ^= 0x01;
  feed(bytes, 2047);
  ac3::decode_one_frame(dec_);
  EXPECT_TRUE(g_messages.empty());
  ac3::decoded_frame* bad = ac3::decode_one_frame(dec_);
  EXPECT_EQ(g_messages, "** CRC failed - skipping frame **\n");
  EXPECT_TRUE(std::all_of(bad->pcm, bad->pcm + 6144, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(bad->kind, ac3::frame_kind::crc_failed);
  EXPECT_EQ(bad->sync_start, origin_ + 768u);
  EXPECT_EQ(bad->claimed_end, origin_ + 1536u);
  EXPECT_EQ(dec_->error_flag, 0);
  EXPECT_EQ(consumed(), 768u + 2);  // only its sync word is used up: its bytes are searched again
  ac3::decoded_frame* next = ac3::decode_one_frame(dec_);
  EXPECT_EQ(next->kind, ac3::frame_kind::decoded);
  EXPECT_EQ(next->sync_start, origin_ + 1536u);
  EXPECT_EQ(consumed(), 768u * 3);
}

// A false sync word with a wrong claim of any size in front of a real frame hides nothing: the
// search finds the real frame right behind the junk, whatever the claim, across chunk borders.
TEST_F(FrameSync, FalseHeadersOfEverySizeBeforeARealFrameHideNothing) {
  const auto clean = fixture("stereo_48k_192.ac3");
  for (int fscod = 0; fscod < 3; ++fscod) {
    for (int code = 0; code < ac3::kFrameSizeCodes; ++code) {
      std::vector<uint8_t> bytes(clean.begin(), clean.begin() + 768);
      const uint8_t junk[5] = {0x0B, 0x77, 0x00, 0x00, static_cast<uint8_t>(fscod << 6 | code)};
      bytes.insert(bytes.end(), junk, junk + 5);
      bytes.insert(bytes.end(), clean.begin() + 768, clean.begin() + 768 * 6);
      for (size_t chunk : {7u, 2047u}) {
        feed(bytes, chunk);
        std::vector<uint64_t> decoded;
        while (consumed() < bytes.size()) {
          const ac3::decoded_frame* f = ac3::decode_one_frame(dec_);
          if (f->kind == ac3::frame_kind::decoded) decoded.push_back(f->sync_start - origin_);
        }
        const std::vector<uint64_t> expected = {
            0, 773, 773 + 768, 773 + 2 * 768, 773 + 3 * 768, 773 + 4 * 768};
        EXPECT_EQ(decoded, expected) << "fscod " << fscod << " code " << code << " chunk " << chunk;
      }
    }
  }
  g_messages.clear();
}

TEST_F(FrameSync, ReservedRateOrSizeCodeIsNoFrameAndTheSearchGoesOnAfterItsSyncWord) {
  auto clean = fixture("stereo_48k_192.ac3");
  for (uint8_t rate_byte : {uint8_t{0xC0 | 20}, uint8_t{38}, uint8_t{63}}) {
    std::vector<uint8_t> bytes = {0x0B, 0x77, 0x12, 0x34, rate_byte};
    bytes.insert(bytes.end(), clean.begin(), clean.begin() + 768);
    feed(bytes, 2047);
    ac3::decoded_frame* frame = ac3::decode_one_frame(dec_);
    EXPECT_TRUE(std::all_of(frame->pcm, frame->pcm + 6144, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(frame->kind, ac3::frame_kind::bad_header);
    EXPECT_EQ(consumed(), 2u) << int{rate_byte};
    EXPECT_EQ(dec_->error_flag, 0);
    ac3::read_syncinfo(dec_);
    EXPECT_EQ(dec_->error_flag, 0);
    EXPECT_EQ(consumed(), 5u + 768u);
  }
  EXPECT_TRUE(g_messages.empty()) << g_messages;
}

TEST_F(FrameSync, TheSearchReturnsAfter65536BytesWithoutASyncWordAndGoesOnWhenCalledAgain) {
  auto clean = fixture("stereo_48k_192.ac3");
  std::vector<uint8_t> bytes(200000, 0x55);
  bytes.insert(bytes.end(), clean.begin(), clean.begin() + 768);
  feed(bytes, 2047);
  ac3::read_syncinfo(dec_);
  EXPECT_EQ(ac3::last_sync_end(*dec_), UINT64_MAX);
  EXPECT_EQ(dec_->frame.kind, ac3::frame_kind::no_sync);
  EXPECT_EQ(consumed(), 65536u);  // nothing behind the search is read
  EXPECT_EQ(dec_->error_flag, 1);
  int calls = 1;
  do {
    dec_->error_flag = 0;
    ac3::read_syncinfo(dec_);
    ++calls;
  } while (dec_->frame.kind == ac3::frame_kind::no_sync);
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(dec_->frame.kind, ac3::frame_kind::decoded);
  EXPECT_EQ(dec_->frame.sync_start, origin_ + 200000u);
  EXPECT_EQ(dec_->error_flag, 0);
}

TEST(Crc16, ZeroOverAWholeFrameAndKnownRegisterValues) {
  // The register after one byte is that byte's table entry: x^16 + x^15 + x^2 + 1.
  EXPECT_EQ(ac3::crc16_update(0, std::vector<uint8_t>{0x01}.data(), 1), 0x8005);
  EXPECT_EQ(ac3::crc16_update(0, std::vector<uint8_t>{0x80}.data(), 1), 0x8303);
  auto bytes = fixture("stereo_48k_192.ac3");
  EXPECT_EQ(ac3::crc16_update(0, bytes.data() + 2, 766), 0);
  bytes[100] ^= 0x40;
  EXPECT_NE(ac3::crc16_update(0, bytes.data() + 2, 766), 0);
}

TEST(Crc16, EightBytesAtATimeAgreeWithTheBitwiseDivisionAtEveryLengthAndStart) {
  // Lengths around the eight-byte steps, odd starting registers and random data: the sliced block
  // update must equal the bit-by-bit division of the frame writer, and the byte-by-byte update.
  std::mt19937 rng(52);
  std::vector<uint8_t> data(1 + 3840);  // the blocks start at an odd address
  for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
  for (int n : {0, 1, 7, 8, 9, 15, 16, 17, 63, 766, 1787, 3839, 3840}) {
    for (uint16_t start : {uint16_t{0}, uint16_t{0xFFFF}, static_cast<uint16_t>(rng())}) {
      SCOPED_TRACE(testing::Message() << "n=" << n << " start=" << start);
      const uint16_t expected = ac3test::crc16_of(data.data() + 1, static_cast<size_t>(n), start);
      EXPECT_EQ(ac3::crc16_update(start, data.data() + 1, n), expected);
      const uint8_t start_bytes[2] = {static_cast<uint8_t>(start >> 8), static_cast<uint8_t>(start)};
      uint16_t reg = 0;
      for (uint8_t byte : start_bytes) reg = ac3::crc16_update(reg, &byte, 1);
      reg = ac3::crc16_update(reg, data.data() + 1, n);
      // Feeding the start register as two bytes first gives the register that follows it.
      EXPECT_EQ(
          reg,
          ac3test::crc16_of(
              data.data() + 1, static_cast<size_t>(n),
              ac3test::crc16_of(
                  std::vector<uint8_t>{static_cast<uint8_t>(start >> 8), static_cast<uint8_t>(start)}.data(),
                  2)));
    }
  }
}

}  // namespace

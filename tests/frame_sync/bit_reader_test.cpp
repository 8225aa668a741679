// The bit reader against a plain bit-by-bit reading of the same bytes, at every width and offset,
// and past the end of the frame's data.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ac3/bitstream.h"
#include "support/decoder_feed.h"

namespace {

using decoder_test::test_decoder;

// Bytes handed out in chunks of a chosen size.
struct vector_source {
  std::vector<uint8_t> bytes;
  size_t pos = 0;
  int chunk_size = 7;
};

int vector_fill(void* user, uint8_t** start, uint8_t** end) {
  vector_source& s = *static_cast<vector_source*>(user);
  size_t n = std::min<size_t>(s.chunk_size, s.bytes.size() - s.pos);
  *start = s.bytes.data() + s.pos;
  *end = *start + n;
  s.pos += n;
  return 0;
}

uint32_t reference_bits(const std::vector<uint8_t>& bytes, size_t bit, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i, ++bit) {
    uint32_t b = bit / 8 < bytes.size() ? (bytes[bit / 8] >> (7 - bit % 8)) & 1u : 0u;
    v = (v << 1) | b;
  }
  return v;
}

void load(ac3::decoder& d, vector_source& source, const std::vector<uint8_t>& bytes, int chunk) {
  source.bytes = bytes;
  source.pos = 0;
  source.chunk_size = chunk;
  ac3::bitstream_set_callback(d, vector_fill, &source);
  ac3::chunk_discard(d);
  ac3::frame_bytes_load(d, static_cast<int>(bytes.size()));
}

TEST(BitReader, MatchesABitByBitReadingAtEveryWidth) {
  std::mt19937 rng(7);
  std::vector<uint8_t> bytes(600);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  test_decoder d;
  vector_source source;
  for (int chunk : {1, 5, 2047}) {
    load(d, source, bytes, chunk);
    size_t bit = 0;
    while (bit + 32 <= bytes.size() * 8) {
      int n = 1 + static_cast<int>(rng() % 32);
      ASSERT_EQ(ac3::bits_take(d, n), reference_bits(bytes, bit, n)) << "bit " << bit << " width " << n;
      bit += n;
      ASSERT_EQ(ac3::bits_position(d), static_cast<int>(bit));
    }
  }
}

TEST(BitReader, FirstBitsAfterALoadAreTheFirstBitsOfTheBody) {
  std::vector<uint8_t> bytes = {0xA5, 0x3C, 0xFF, 0x00, 0x81, 0x7E};
  test_decoder d;
  vector_source source;
  for (int n : {1, 3, 8, 16, 31, 32}) {
    load(d, source, bytes, 3);
    EXPECT_EQ(ac3::bits_take(d, n), reference_bits(bytes, 0, n)) << n;
  }
  // 32-bit reads straddling word boundaries.
  load(d, source, bytes, 2047);
  EXPECT_EQ(ac3::bits_take(d, 4), 0xAu);
  EXPECT_EQ(ac3::bits_take(d, 32), reference_bits(bytes, 4, 32));
}

TEST(BitReader, BitsPastTheEndOfTheFrameReadAsZero) {
  // The buffer behind the data holds stale ones from an earlier, longer frame.
  std::vector<uint8_t> ones(64, 0xFF);
  test_decoder d;
  vector_source source;
  load(d, source, ones, 2047);
  std::vector<uint8_t> bytes = {0xFF, 0xFF, 0xFF};
  load(d, source, bytes, 2047);
  EXPECT_EQ(ac3::bits_take(d, 20), 0xFFFFFu);
  EXPECT_EQ(ac3::bits_take(d, 8), 0xF0u);  // four data bits, then zeros
  for (int i = 0; i < 100; ++i) EXPECT_EQ(ac3::bits_take(d, 32), 0u);
}

TEST(BitReader, LoadTakesExactlyTheBytesAskedForAcrossChunks) {
  std::vector<uint8_t> bytes(100);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  test_decoder d;
  vector_source source{bytes, 0, 9};
  ac3::bitstream_set_callback(d, vector_fill, &source);
  ac3::chunk_discard(d);
  const uint64_t before = ac3::input_bytes_consumed(d);
  ac3::frame_bytes_load(d, 40);
  EXPECT_EQ(ac3::input_bytes_consumed(d) - before, 40u);
  EXPECT_EQ(ac3::frame_bytes(d)[39], 39);
  EXPECT_EQ(ac3::chunk_next_byte(d), 40);  // the next byte is the one after the frame
  ac3::frame_bytes_load(d, 10);
  EXPECT_EQ(ac3::bits_take(d, 8), 41u);
}

}  // namespace

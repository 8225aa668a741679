// Every frame of every clean fixture is parsed to its last mantissa: after the sixth block the read
// position lies before the final 18 bits (auxdatae, crcrsv, crc2) and all bits in between are the
// encoder's zero padding. One wrong bap, group count or field width anywhere moves the position.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ac3/bitstream.h"
#include "ac3/frame_size_table.h"
#include "ac3/stages.h"
#include "support/decoder_feed.h"
#include "support/paths.h"

namespace {

using namespace ac3;

constexpr int kTrailerBits = 18;

std::vector<std::string> clean_fixtures() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(qelp_test::data_path(""))) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".ac3" && name.rfind("damaged_", 0) != 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Frame size in bytes of the frame at offset, or 0 when none starts there or it is cut off.
size_t whole_frame_at(const std::vector<uint8_t>& data, size_t offset) {
  if (offset + 5 > data.size() || data[offset] != 0x0B || data[offset + 1] != 0x77) return 0;
  const int fscod = data[offset + 4] >> 6;
  const int frmsizecod = data[offset + 4] & 0x3f;
  if (fscod == 3 || frmsizecod >= kFrameSizeCodes) return 0;
  const size_t bytes = 2u * frame_size_table[frmsizecod].words[fscod];
  return offset + bytes <= data.size() ? bytes : 0;
}

struct frame_result {
  bool error = false;
  int position = 0;        // bits_position after the sixth block's mantissas
  int body_bits = 0;       // bits in the frame body
  bool padding_zero = true;
};

frame_result parse_frame(decoder& d) {
  frame_result r;
  read_syncinfo(d);
  if (d.error_flag) {
    r.error = true;
    return r;
  }
  read_bsi(d);
  for (int block = 0; block < kBlocksPerFrame && !d.error_flag; ++block) {
    std::memset(d.coeffs, 0, sizeof d.coeffs);
    read_audblk(d);
    expand_exponents(d);
    if (d.error_flag) break;
    allocate_bits(d);
    unpack_coefficients(d);
  }
  r.error = d.error_flag != 0;
  r.position = bits_position(d);
  r.body_bits = 8 * frame_bytes_count(d);
  const uint8_t* body = frame_bytes(d);
  for (int bit = r.position; bit < r.body_bits - kTrailerBits; ++bit) {
    if ((body[bit / 8] >> (7 - bit % 8)) & 1) r.padding_zero = false;
  }
  return r;
}

TEST(AllBitsAccountedFor, EveryFrameOfEveryCleanFixtureEndsInItsPadding) {
  const std::vector<std::string> fixtures = clean_fixtures();
  ASSERT_GE(fixtures.size(), 20u);
  decoder_test::test_decoder dec;
  decoder_config config{};
  decoder_init(dec, config);
  int frames_checked = 0;
  for (const std::string& name : fixtures) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> data = decoder_test::read_file(qelp_test::data_path(name));
    ASSERT_FALSE(data.empty());
    decoder_test::feed_bytes(dec, data);
    const uint64_t consumed_before = input_bytes_consumed(*dec);
    int frame = 0;
    for (size_t offset = 0, size; (size = whole_frame_at(data, offset)) != 0; offset += size, ++frame) {
      const frame_result r = parse_frame(dec);
      ASSERT_FALSE(r.error) << "frame " << frame;
      ASSERT_EQ(input_bytes_consumed(*dec) - consumed_before, offset + size) << "frame " << frame;
      ASSERT_LE(r.position, r.body_bits - kTrailerBits) << "frame " << frame;
      ASSERT_TRUE(r.padding_zero) << "frame " << frame << " position " << r.position;
      ++frames_checked;
    }
    EXPECT_GT(frame, 0);
  }
  // About 60 frames per two-second fixture.
  EXPECT_GT(frames_checked, 20 * 40);
}

}  // namespace

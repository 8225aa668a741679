// Side information damaged in ways a CRC would not catch: the stages must stay inside their arrays
// whatever the fields hold, and the values the later stages index with must stay in range.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "ac3/bitstream.h"
#include "ac3/frame_size_table.h"
#include "ac3/stages.h"
#include "support/decoder_feed.h"
#include "support/paths.h"

namespace {

using namespace ac3;

// Runs the parsing stages over one frame body as the frame driver would, without the CRC test.
void parse_body(decoder_test::test_decoder& dec, const std::vector<uint8_t>& body) {
  decoder& d = dec;
  decoder_test::load_frame_body(dec, body);
  read_bsi(d);
  d.syncinfo.fscod = 0;
  for (int block = 0; block < kBlocksPerFrame; ++block) {
    read_audblk(d);
    expand_exponents(d);
    if (d.error_flag) break;
    allocate_bits(d);
    unpack_coefficients(d);
    if (d.error_flag) break;
    if (d.bsi.acmod == 2) rematrix_stereo(d);
  }
  d.error_flag = 0;
}

void expect_state_sound(const decoder& d) {
  const bsi& g_bsi = d.bsi;
  const audblk& g_audblk = d.audblk;
  ASSERT_EQ(g_bsi.guard_word, kGuardWord);
  ASSERT_EQ(g_audblk.guard_word1, kGuardWord);
  ASSERT_EQ(g_audblk.guard_word2, kGuardWord);
  ASSERT_EQ(g_audblk.guard_word3, kGuardWord);
  ASSERT_LE(g_bsi.nfchans, 5);
  for (int ch = 0; ch < 5; ++ch) {
    ASSERT_LE(g_audblk.endmant[ch], 253);
    ASSERT_LE(g_audblk.nchgrps[ch], 84);
    for (int bin = 0; bin < 256; ++bin) {
      ASSERT_LE(g_audblk.fbw_exp[ch][bin], 24);
      ASSERT_LE(g_audblk.fbw_bap[ch][bin], 15);
    }
    for (int bin = 253; bin < 256; ++bin) {
      ASSERT_EQ(g_audblk.fbw_exp[ch][bin], 0);
      ASSERT_EQ(g_audblk.fbw_bap[ch][bin], 0);
    }
  }
  ASSERT_LE(g_audblk.cplendmant, 253);
  ASSERT_LE(g_audblk.cplstrtmant, g_audblk.cplendmant);
  ASSERT_LE(g_audblk.ncplgrps, 72);
  ASSERT_LE(g_audblk.ncplbnd, 18);
  for (int bin = 0; bin < 256; ++bin) ASSERT_LE(g_audblk.cpl_exp[bin], 24);
  for (int bin = 253; bin < 256; ++bin) {
    ASSERT_EQ(g_audblk.cpl_exp[bin], 0);
    ASSERT_EQ(g_audblk.cpl_bap[bin], 0);
    ASSERT_EQ(g_audblk.cplmant[bin], 0);
  }
}

TEST(CorruptFrames, FlippedBitsNeverCarryAStageOutsideItsArrays) {
  std::mt19937 rng(20261207);
  decoder_test::diagnostics_capture quiet;   // the invalid-exponent and -mantissa messages
  decoder_test::test_decoder dec;            // its guard words are armed
  const char* fixtures[] = {"3f2r_lfe_48k_448.ac3", "stereo_cpl_48k_128.ac3", "mono_lfe_48k_128.ac3",
                            "3f2r_lfe_cpl_48k_256.ac3", "stereo_44k_32.ac3"};
  int frames = 0;
  for (const char* name : fixtures) {
    SCOPED_TRACE(name);
    const auto data = decoder_test::read_file(qelp_test::data_path(name));
    ASSERT_GT(data.size(), 5u);
    const int fscod = data[4] >> 6;
    const size_t frame = 2u * frame_size_table[data[4] & 0x3f].words[fscod];
    for (int trial = 0; trial < 300; ++trial) {
      const size_t start = (trial % (data.size() / frame)) * frame;
      std::vector<uint8_t> body(data.begin() + static_cast<long>(start) + 5,
                                data.begin() + static_cast<long>(start + frame));
      // A few flipped bits, most of them in the side information near the start of the body.
      const int flips = 1 + trial % 8;
      for (int f = 0; f < flips; ++f) {
        const size_t limit = trial % 3 == 0 ? body.size() : std::min<size_t>(body.size(), 64);
        body[rng() % limit] ^= static_cast<uint8_t>(1u << (rng() % 8));
      }
      if (trial % 5 == 0) {
        for (size_t i = 2; i < std::min<size_t>(body.size(), 40); ++i) body[i] = static_cast<uint8_t>(rng());
      }
      parse_body(dec, body);
      expect_state_sound(*dec);
      if (testing::Test::HasFatalFailure()) return;
      ++frames;
    }
  }
  EXPECT_EQ(frames, 5 * 300);
}

}  // namespace

// Folding down before the transform gives what transforming each channel on its own and folding
// its samples down gives: over blocks whose channels switch between the long and the short
// transform independently, in every mode and both fold-downs, with the overlap carried per output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "ac3/imdct.h"
#include "ac3/stages.h"
#include "support/decoder_feed.h"

namespace {

constexpr int kBlocks = 12;

// The fold-down gains of one mode at full scale, as the decoder documents them (normal: centre
// and surround at cmixlev 0 / surmixlev 0; surround-compatible: its own table).
struct gains {
  double left[5], right[5];
};

gains gains_of(int acmod, bool surround) {
  constexpr double s = 32767.0;
  const double mono = 23169.545;
  switch (acmod) {
    case 0: return {{mono, 0}, {mono, 0}};
    case 1: return {{mono}, {mono}};
    case 2: return {{s, 0}, {0, s}};
    case 3:
      return surround ? gains{{0.5858 * s, 0.5858 * 0.707 * s, 0}, {0, 0.5858 * 0.707 * s, 0.5858 * s}}
                      : gains{{0.4142 * s, 0.2928 * s, 0}, {0, 0.2928 * s, 0.4142 * s}};
    case 4:
      return surround ? gains{{0.5858 * s, 0, -0.4142 * s}, {0, 0.5858 * s, 0.4142 * s}}
                      : gains{{0.4142 * s, 0, 0.2928 * s}, {0, 0.4142 * s, 0.2928 * s}};
    case 5:
      return surround ? gains{{0.4142 * s, 0.2928 * s, 0, -0.2928 * s}, {0, 0.2928 * s, 0.4142 * s, 0.2928 * s}}
                      : gains{{0.4142 * s, 0.2928 * s, 0, 0.2928 * s}, {0, 0.2928 * s, 0.4142 * s, 0.2928 * s}};
    case 6:
      return surround ? gains{{0.4142 * s, 0, -0.2928 * s, -0.2928 * s}, {0, 0.4142 * s, 0.2928 * s, 0.2928 * s}}
                      : gains{{0.4142 * s, 0, 0.2928 * s, 0}, {0, 0.4142 * s, 0, 0.2928 * s}};
    default:
      return surround ? gains{{0.3204 * s, 0.2265 * s, 0, -0.2265 * s, -0.2265 * s},
                              {0, 0.2265 * s, 0.3204 * s, 0.2265 * s, 0.2265 * s}}
                      : gains{{0.4142 * s, 0.2928 * s, 0, 0.2928 * s, 0}, {0, 0.2928 * s, 0.4142 * s, 0, 0.2928 * s}};
  }
}

TEST(FoldBeforeTransform, MatchesEachChannelTransformedThenFolded) {
  static const int nfchans[8] = {2, 1, 2, 3, 3, 4, 4, 5};
  std::mt19937 rng(1812);
  std::uniform_real_distribution<float> value(-0.02f, 0.02f);
  for (int surround = 0; surround < 2; ++surround) {
    for (int acmod = 0; acmod < 8; ++acmod) {
      SCOPED_TRACE("acmod " + std::to_string(acmod) + (surround ? " surround" : " normal"));
      decoder_test::test_decoder dec;
      dec->surround_mode = surround;
      dec->bsi.acmod = static_cast<uint16_t>(acmod);
      dec->bsi.nfchans = static_cast<uint16_t>(nfchans[acmod]);
      dec->bsi.lfeon = 1;
      const gains g = gains_of(acmod, surround != 0);

      float channel_delay[5][256] = {};
      double worst = 0.0, loudest = 0.0;
      int short_blocks = 0, mixed_blocks = 0;
      for (int block = 0; block < kBlocks; ++block) {
        // Each channel switches on its own; some blocks are all long, some all short.
        int shorts = 0;
        for (int ch = 0; ch < nfchans[acmod]; ++ch) {
          const bool is_short = block % 4 == 3 || (block % 4 != 0 && (rng() % 3 == 0));
          dec->audblk.blksw[ch] = is_short ? 1 : 0;
          shorts += is_short;
        }
        short_blocks += shorts == nfchans[acmod];
        mixed_blocks += shorts > 0 && shorts < nfchans[acmod];
        for (auto& slot : dec->coeffs)
          for (float& x : slot) x = value(rng);

        // Each channel through its own transform and delay.
        float samples[5][256];
        for (int ch = 0; ch < nfchans[acmod]; ++ch) {
          if (dec->audblk.blksw[ch])
            ac3::imdct_short(dec->coeffs[ch], samples[ch], channel_delay[ch]);
          else
            ac3::imdct_long(dec->coeffs[ch], samples[ch], channel_delay[ch]);
        }

        ac3::fold_down(dec);
        ac3::inverse_transform(dec);
        const int right = dec->folded.outputs > 1 ? 1 : 0;
        for (int n = 0; n < 256; ++n) {
          double left_ref = 0.0, right_ref = 0.0;
          for (int ch = 0; ch < nfchans[acmod]; ++ch) {
            left_ref += g.left[ch] * samples[ch][n];
            right_ref += g.right[ch] * samples[ch][n];
          }
          worst = std::max(worst, std::fabs(left_ref - dec->samples[0][n]));
          worst = std::max(worst, std::fabs(right_ref - dec->samples[right][n]));
          loudest = std::max(loudest, std::fabs(left_ref));
        }
      }
      EXPECT_GT(short_blocks, 0);
      if (nfchans[acmod] > 1) {
        EXPECT_GT(mixed_blocks, 0);
      }
      EXPECT_GT(loudest, 1000.0) << "the test signal should use a good part of the 16 bits";
      // Well within the 16-bit truncation: the two orders of summation differ only by float rounding.
      EXPECT_LT(worst, 0.02) << "16-bit units";
    }
  }
}

// A change of mode between blocks continues from the outputs' overlap: a 3/2 block's tail is heard
// at the start of a following 2/0 block, and a mono block's tail on both sides of a stereo one.
TEST(FoldBeforeTransform, AModeChangeOverlapsWithTheOutputsLastTail) {
  decoder_test::test_decoder dec;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> value(-0.02f, 0.02f);
  for (const int first : {7, 1}) {
    SCOPED_TRACE("first acmod " + std::to_string(first));
    ac3::decoder_reset(dec);
    dec->bsi.acmod = static_cast<uint16_t>(first);
    dec->bsi.nfchans = first == 7 ? 5 : 1;
    for (auto& slot : dec->coeffs)
      for (float& x : slot) x = value(rng);
    ac3::fold_down(dec);
    ac3::inverse_transform(dec);
    float tail[2][256];
    std::memcpy(tail, dec->delay, sizeof tail);

    // A silent 2/0 block plays out twice the overlap on each side.
    dec->bsi.acmod = 2;
    dec->bsi.nfchans = 2;
    std::memset(dec->coeffs, 0, sizeof dec->coeffs);
    ac3::fold_down(dec);
    ac3::inverse_transform(dec);
    double energy = 0.0;
    for (int o = 0; o < 2; ++o) {
      for (int n = 0; n < 256; ++n) {
        ASSERT_EQ(2.0f * tail[o][n], dec->samples[o][n]) << "output " << o << " sample " << n;
        energy += tail[o][n] * tail[o][n];
      }
    }
    EXPECT_GT(energy, 1.0);
    if (first == 1) {
      EXPECT_EQ(0, std::memcmp(dec->samples[0], dec->samples[1], sizeof dec->samples[0]));
    }
  }
}

}  // namespace

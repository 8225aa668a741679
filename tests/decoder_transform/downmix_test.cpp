// Fold-down to 16-bit stereo: truncation, saturation, the mono scale, channel roles per mode,
// the mix levels, surround-compatible antiphase, and what must never reach the output. The
// channels are folded as coefficients, before the transform; a coefficient folds into an output at
// the same 16-bit scale as a time sample would, so the expected values are those of the samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "ac3/stages.h"
#include "support/decoder_feed.h"

namespace {

struct pair16 {
  int left;
  int right;
};

class FoldDown : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(coeffs, 0, sizeof coeffs);
    dec->surround_mode = 0;
    dec->config.dual_mono_channel = 0;
  }

  ac3::bsi stream(int acmod, int cmixlev = 0, int surmixlev = 0) {
    static const int nfchans[8] = {2, 1, 2, 3, 3, 4, 4, 5};
    ac3::bsi b{};
    b.acmod = static_cast<uint16_t>(acmod);
    b.nfchans = static_cast<uint16_t>(nfchans[acmod]);
    b.cmixlev = static_cast<uint16_t>(cmixlev);
    b.surmixlev = static_cast<uint16_t>(surmixlev);
    return b;
  }

  // Folds the test's coefficients and returns bin i of the outputs.
  pair16 mix(const ac3::bsi& b, int i = 0) {
    fold(b);
    return folded_at(i);
  }
  void fold(const ac3::bsi& b) {
    dec->bsi = b;
    ac3::fold_down(dec);
  }
  // Output o's fold-down at bin i, both transform lengths together.
  float folded(int o, int i) {
    const ac3::folded_block& f = dec->folded;
    float sum = 0.0f;
    for (int length = 0; length < ac3::kTransformLengths; ++length)
      if (f.used[o][length]) sum += f.coeffs[o][length][i];
    return sum;
  }
  // Bin i as the 16-bit values it scales to; a mono programme's one output on both sides.
  pair16 folded_at(int i) {
    const int right = dec->folded.outputs > 1 ? 1 : 0;
    return {static_cast<int>(folded(0, i)), static_cast<int>(folded(right, i))};
  }

  // Converts time samples (16-bit scale) of the two outputs, or of one for a mono programme, and
  // returns the count of samples limited to full scale. Both forms of the conversion (SSE2 where
  // built, and portable) must write the same bytes and count the same.
  uint32_t write(const float* left, const float* right, uint8_t* into) {
    dec->folded.outputs = right != nullptr ? 2 : 1;
    std::memcpy(dec->samples[0], left, sizeof dec->samples[0]);
    if (right != nullptr) std::memcpy(dec->samples[1], right, sizeof dec->samples[1]);
    uint8_t portable[ac3::kPcmBlockBytes];
    dec->portable_vectors = 1;
    const uint32_t portable_count = ac3::write_pcm(dec, portable);
    dec->portable_vectors = 0;
    const uint32_t count = ac3::write_pcm(dec, into);
    EXPECT_EQ(0, std::memcmp(portable, into, sizeof portable)) << "the two forms differ";
    EXPECT_EQ(portable_count, count) << "the two forms count differently";
    return count;
  }
  pair16 pair_at(int i) const {
    const uint8_t* p = out + 4 * i;
    return {static_cast<int16_t>(p[0] | (p[1] << 8)), static_cast<int16_t>(p[2] | (p[3] << 8))};
  }

  decoder_test::test_decoder dec;
  ac3::coeff_buffer_t& coeffs = dec->coeffs;
  uint8_t out[ac3::kPcmBlockBytes];
};

TEST_F(FoldDown, StereoTruncatesTowardZero) {
  const float values[] = {16383.5f, -16383.5f, 0.999f, -1.5f, 8191.75f, 0.0f};
  const int expected[] = {16383, -16383, 0, -1, 8191, 0};
  float left[ac3::kBins] = {}, right[ac3::kBins] = {};
  for (int i = 0; i < 6; ++i) {
    left[i] = values[i];
    right[i] = -values[i];
  }
  write(left, right, out);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(expected[i], pair_at(i).left) << "value " << values[i];
    EXPECT_EQ(-expected[i], pair_at(i).right) << "value " << values[i];
  }
  // A 2/0 stream's channels reach their outputs at full scale: 0.5 and 0.25 of it.
  coeffs[0][0] = 0.5f;
  coeffs[1][0] = -0.25f;
  const pair16 p = mix(stream(2));
  EXPECT_EQ(16383, p.left);
  EXPECT_EQ(-8191, p.right);
}

// Full scale and beyond saturate at +32767 / -32767 instead of wrapping around.
TEST_F(FoldDown, FullScaleSaturatesInsteadOfWrapping) {
  const float values[] = {32767.0f, 32767.5f, 32768.0f, 65535.0f, 3.3e7f, -32767.0f, -32768.0f, -65535.0f, -3.3e7f};
  const int expected[] = {32767, 32767, 32767, 32767, 32767, -32767, -32767, -32767, -32767};
  float left[ac3::kBins] = {}, right[ac3::kBins] = {};
  for (int i = 0; i < 9; ++i) left[i] = right[i] = values[i];
  write(left, right, out);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(expected[i], pair_at(i).left) << "value " << values[i];
    EXPECT_EQ(expected[i], pair_at(i).right) << "value " << values[i];
  }
  // Infinities saturate too, and so does a value that is not a number; the rest of the block is
  // silence.
  left[0] = INFINITY;
  right[0] = -INFINITY;
  left[1] = right[1] = NAN;
  write(left, right, out);
  EXPECT_EQ(32767, pair_at(0).left);
  EXPECT_EQ(-32767, pair_at(0).right);
  EXPECT_EQ(32767, pair_at(1).left);
  EXPECT_EQ(32767, pair_at(1).right);
  for (int i = 2; i < 9; ++i) EXPECT_EQ(expected[i], pair_at(i).left) << "pair " << i;
  for (int i = 9; i < ac3::kBins; ++i) EXPECT_EQ(0, pair_at(i).left | pair_at(i).right) << "pair " << i;
}

// Every position of a block, with values around each integer, both signs and either side of full
// scale: truncation toward zero and saturation, the same in both forms.
TEST_F(FoldDown, EveryPairOfABlockIsConvertedInPlace) {
  float left[ac3::kBins], right[ac3::kBins];
  for (int i = 0; i < ac3::kBins; ++i) {
    left[i] = static_cast<float>(i * 257 - 32800) + (i % 3 == 0 ? 0.0f : (i % 3 == 1 ? 0.5f : 0.999f));
    right[i] = -left[i] * (i % 5 == 0 ? 1.0f : 0.25f);
  }
  right[7] = -0.0f;
  write(left, right, out);
  for (int i = 0; i < ac3::kBins; ++i) {
    const double l = std::clamp(static_cast<double>(left[i]), -32767.0, 32767.0);
    const double r = std::clamp(static_cast<double>(right[i]), -32767.0, 32767.0);
    ASSERT_EQ(static_cast<int>(std::trunc(l)), pair_at(i).left) << "pair " << i << " value " << left[i];
    ASSERT_EQ(static_cast<int>(std::trunc(r)), pair_at(i).right) << "pair " << i << " value " << right[i];
  }
}

// A loud 3/2 sum goes past full scale (the gains add up to 0.9998, so channels at 1.5 overload
// it); the sum is taken in float and only the 16-bit conversion saturates.
TEST_F(FoldDown, OverloadedFoldDownSaturates) {
  for (int ch = 0; ch < 5; ++ch) coeffs[ch][0] = 1.5f;
  for (int ch = 0; ch < 5; ++ch) coeffs[ch][1] = -1.5f;
  coeffs[0][2] = 3.0f;  // 0.4142 * 3 alone is past full scale
  fold(stream(7, 0, 0));
  float left[ac3::kBins], right[ac3::kBins];
  for (int i = 0; i < ac3::kBins; ++i) {
    left[i] = folded(0, i);
    right[i] = folded(1, i);
  }
  EXPECT_NEAR(1.5 * 0.9998 * 32767, left[0], 1.0);
  EXPECT_NEAR(3 * 0.4142 * 32767, left[2], 1.0);
  write(left, right, out);
  EXPECT_EQ(32767, pair_at(0).left);
  EXPECT_EQ(32767, pair_at(0).right);
  EXPECT_EQ(-32767, pair_at(1).left);
  EXPECT_EQ(-32767, pair_at(1).right);
  EXPECT_EQ(32767, pair_at(2).left);
  EXPECT_EQ(0, pair_at(2).right);
}

// The block's count of clipped samples: those whose value changed by more than truncation, at a
// magnitude of 32768 or more; full scale itself and values truncating to it are not clipped.
TEST_F(FoldDown, CountsTheSamplesItLimitsToFullScale) {
  float left[ac3::kBins] = {}, right[ac3::kBins] = {};
  EXPECT_EQ(write(left, right, out), 0u);  // silence
  // A block that reaches full scale only by truncation clips nothing.
  left[7] = 32767.99f;
  right[8] = -32767.5f;
  EXPECT_EQ(write(left, right, out), 0u);
  EXPECT_EQ(pair_at(7).left, 32767);
  EXPECT_EQ(pair_at(8).right, -32767);
  left[0] = 32767.0f;                    // full scale, kept
  left[1] = 32767.9f;                    // truncates to 32767: kept
  left[2] = 32768.0f;                    // clipped
  right[3] = -32768.0f;                  // clipped to -32767
  right[4] = -32767.0f;                  // kept
  left[255] = right[255] = 1.3e6f;       // both sides of the last pair
  EXPECT_EQ(write(left, right, out), 4u);
  EXPECT_EQ(pair_at(3).right, -32767);
  EXPECT_EQ(pair_at(1).left, 32767);

  // Infinities and values that are no number are limited, so they count.
  std::memset(left, 0, sizeof left);
  std::memset(right, 0, sizeof right);
  left[9] = INFINITY;
  right[10] = -INFINITY;
  left[11] = NAN;
  EXPECT_EQ(write(left, right, out), 3u);

  // A mono programme's one output is heard on both sides: each of its clipped samples is two.
  std::memset(left, 0, sizeof left);
  left[5] = -40000.0f;
  left[6] = 32767.5f;
  EXPECT_EQ(write(left, nullptr, out), 2u);
  EXPECT_EQ(pair_at(5).left, -32767);
  EXPECT_EQ(pair_at(5).right, -32767);
}

// Every position of the block counts, in each lane of the vector form, and a block whose every
// sample is clipped counts all 512.
TEST_F(FoldDown, CountsClippedSamplesAtEveryPosition) {
  float left[ac3::kBins], right[ac3::kBins];
  for (int at = 0; at < ac3::kBins; ++at) {
    std::fill(left, left + ac3::kBins, 1000.0f);
    std::fill(right, right + ac3::kBins, -1000.0f);
    left[at] = 32768.5f;
    right[(at + 1) % ac3::kBins] = at % 2 == 0 ? -32768.0f : -32767.99f;
    ASSERT_EQ(write(left, right, out), at % 2 == 0 ? 2u : 1u) << "position " << at;
  }
  std::fill(left, left + ac3::kBins, -1e9f);
  std::fill(right, right + ac3::kBins, 32768.0f);
  EXPECT_EQ(write(left, right, out), 2u * ac3::kBins);
}

// A 3/2 fold-down that goes beyond full scale in the sum: L, C and Ls at 1.2 each take the left
// output to 1.2 x 0.9998 of full scale; the right one, C alone, stays below it.
TEST_F(FoldDown, AnOverloadedFoldDownCountsItsClippedSamples) {
  for (int i = 0; i < 10; ++i) coeffs[0][i] = coeffs[1][i] = coeffs[3][i] = 1.2f;
  fold(stream(7, 0, 0));
  float left[ac3::kBins], right[ac3::kBins];
  for (int i = 0; i < ac3::kBins; ++i) {
    left[i] = folded(0, i);
    right[i] = folded(1, i);
  }
  EXPECT_EQ(write(left, right, out), 10u);
  EXPECT_EQ(pair_at(0).left, 32767);
  EXPECT_LT(pair_at(0).right, 32767);
}

TEST_F(FoldDown, MonoIsIdenticalOnBothSidesAtMonoScale) {
  const ac3::bsi b = stream(1);
  coeffs[0][0] = 1.0f;
  coeffs[0][1] = -0.5f;
  coeffs[0][2] = 0.123f;
  coeffs[1][0] = 0.9f;  // not a channel of 1/0
  fold(b);
  EXPECT_EQ(1, dec->folded.outputs) << "one output, one transform";
  EXPECT_EQ(23169, folded_at(0).left);   // 0.7071 of full scale
  EXPECT_EQ(-11584, folded_at(1).left);  // 11584.77 truncated toward zero
  EXPECT_EQ(2849, folded_at(2).left);    // 2849.85

  // The one output is written to both sides.
  float samples[ac3::kBins];
  for (int i = 0; i < ac3::kBins; ++i) samples[i] = 100.0f * static_cast<float>(i) - 12000.5f;
  write(samples, nullptr, out);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(static_cast<int>(samples[i]), pair_at(i).left) << "pair " << i;
    EXPECT_EQ(pair_at(i).left, pair_at(i).right) << "pair " << i;
  }
}

TEST_F(FoldDown, DualMonoPlaysTheChosenProgrammeOnBothSides) {
  const ac3::bsi b = stream(0);
  coeffs[0][0] = 0.5f;    // Ch1
  coeffs[1][0] = -0.25f;  // Ch2
  pair16 p = mix(b);
  EXPECT_EQ(1, dec->folded.outputs);
  EXPECT_EQ(11584, p.left);
  EXPECT_EQ(11584, p.right);

  dec->config.dual_mono_channel = 1;
  p = mix(b);
  EXPECT_EQ(-5792, p.left);
  EXPECT_EQ(-5792, p.right);
  dec->config.dual_mono_channel = 0;
}

// The role of each channel slot per mode: fronts to their own side only, the centre equally to
// both, surrounds in phase (normal) or in antiphase (surround-compatible). A coefficient in one
// slot at a time shows which output it reaches and with which sign.
TEST_F(FoldDown, EachChannelReachesTheRightSideInEveryMode) {
  enum role { L, C, R, S, Ls, Rs };
  const std::vector<std::vector<role>> order = {{},        {},           {L, R},         {L, C, R},
                                                {L, R, S}, {L, C, R, S}, {L, R, Ls, Rs}, {L, C, R, Ls, Rs}};
  for (int surround = 0; surround < 2; ++surround) {
    dec->surround_mode = surround;
    for (int acmod = 2; acmod < 8; ++acmod) {
      const ac3::bsi b = stream(acmod, 0, 0);
      for (size_t ch = 0; ch < order[acmod].size(); ++ch) {
        std::memset(coeffs, 0, sizeof coeffs);
        coeffs[ch][0] = 0.5f;
        const pair16 p = mix(b);
        const std::string where = "acmod " + std::to_string(acmod) + " slot " + std::to_string(ch) +
                                  (surround ? " surround" : " normal");
        switch (order[acmod][ch]) {
          case L:
            EXPECT_GT(p.left, 0) << where;
            EXPECT_EQ(0, p.right) << where;
            break;
          case R:
            EXPECT_EQ(0, p.left) << where;
            EXPECT_GT(p.right, 0) << where;
            break;
          case C:
            EXPECT_GT(p.left, 0) << where;
            EXPECT_EQ(p.left, p.right) << where;
            break;
          case S:
          case Ls:
          case Rs:
            if (surround) {
              EXPECT_LT(p.left, 0) << where;
              EXPECT_EQ(-p.left, p.right) << where;
            } else if (order[acmod][ch] == S) {
              EXPECT_GT(p.left, 0) << where;
              EXPECT_EQ(p.left, p.right) << where;
            } else if (order[acmod][ch] == Ls) {
              EXPECT_GT(p.left, 0) << where;
              EXPECT_EQ(0, p.right) << where;
            } else {
              EXPECT_EQ(0, p.left) << where;
              EXPECT_GT(p.right, 0) << where;
            }
            break;
        }
      }
    }
  }
}

// 3/2 with cmixlev 2 and surmixlev 2: centre at 0.2071, surrounds dropped (normal mode); in
// surround-compatible mode the surround sum goes left with negative and right with positive sign.
TEST_F(FoldDown, ThreeTwoMixLevelsAndSurroundAntiphase) {
  const ac3::bsi b = stream(7, 2, 2);
  coeffs[1][0] = 1.0f;                       // C alone
  coeffs[3][1] = 0.5f;                       // Ls alone
  coeffs[4][2] = 0.5f;                       // Rs alone
  coeffs[0][3] = 1.0f;                       // L alone
  coeffs[3][4] = 0.5f, coeffs[4][4] = 0.5f;  // Ls + Rs
  fold(b);
  EXPECT_EQ(6786, folded_at(0).left);  // 0.2071 * 32767 = 6786.05
  EXPECT_EQ(6786, folded_at(0).right);
  for (int i = 1; i <= 2; ++i) {
    EXPECT_EQ(0, folded_at(i).left) << "pair " << i;
    EXPECT_EQ(0, folded_at(i).right) << "pair " << i;
  }
  EXPECT_EQ(13572, folded_at(3).left);  // 0.4142 * 32767 = 13572.09
  EXPECT_EQ(0, folded_at(3).right);

  dec->surround_mode = 1;
  fold(b);
  EXPECT_EQ(-7421, folded_at(4).left);  // 0.2265 * (0.5 + 0.5) * 32767 = 7421.7
  EXPECT_EQ(7421, folded_at(4).right);
  EXPECT_EQ(7421, folded_at(0).left);   // centre at 0.2265 whatever cmixlev
  EXPECT_EQ(10498, folded_at(3).left);  // 0.3204 * 32767 = 10498.5
}

// The stream's mix levels govern the normal fold-down: each cmixlev and surmixlev code.
TEST_F(FoldDown, NormalModeUsesTheStreamsMixLevels) {
  const int centre[4] = {9594, 8086, 6786, 8086};  // 0.2928, 0.2468, 0.2071, 0.2468 of 32767
  const int surround[4] = {9594, 6786, 0, 6786};   // 0.2928, 0.2071, 0, 0.2071
  for (int code = 0; code < 4; ++code) {
    const ac3::bsi b = stream(5, code, code);  // 3/1: L, C, R, S
    std::memset(coeffs, 0, sizeof coeffs);
    coeffs[1][0] = 1.0f;
    coeffs[3][1] = 1.0f;
    fold(b);
    EXPECT_EQ(centre[code], folded_at(0).left) << "cmixlev " << code;
    EXPECT_EQ(surround[code], folded_at(1).right) << "surmixlev " << code;
  }
  // Surround-compatible 3/0 scales the centre by its own table, indexed by cmixlev.
  dec->surround_mode = 1;
  const int surround_centre[4] = {13570, 11440, 9597, 11440};  // 0.5858 * (0.707, 0.596, 0.5, 0.596)
  for (int code = 0; code < 4; ++code) {
    const ac3::bsi b = stream(3, code, 0);
    std::memset(coeffs, 0, sizeof coeffs);
    coeffs[1][0] = 1.0f;
    fold(b);
    EXPECT_NEAR(surround_centre[code], folded_at(0).left, 1) << "cmixlev " << code;
  }
}

// Neither the LFE slot nor slots the mode does not use ever reach the outputs, and the block's
// 1024 bytes are all that write_pcm writes.
TEST_F(FoldDown, LfeAndUnusedSlotsNeverReachTheOutput) {
  for (int acmod = 0; acmod < 8; ++acmod) {
    ac3::bsi b = stream(acmod, 1, 1);
    std::memset(coeffs, 0, sizeof coeffs);
    for (int ch = 0; ch < b.nfchans; ++ch)
      for (int i = 0; i < 256; ++i) coeffs[ch][i] = 0.001f * static_cast<float>((i * (ch + 3)) % 200) - 0.1f;
    b.lfeon = 0;
    fold(b);
    const ac3::folded_block without = dec->folded;

    b.lfeon = 1;
    for (int ch = b.nfchans; ch < ac3::kCoeffSlots; ++ch)
      for (int i = 0; i < 256; ++i) coeffs[ch][i] = 0.9f;
    fold(b);
    const ac3::folded_block& with = dec->folded;
    ASSERT_EQ(without.outputs, with.outputs);
    for (int o = 0; o < with.outputs; ++o) {
      for (int length = 0; length < ac3::kTransformLengths; ++length) {
        ASSERT_EQ(without.used[o][length], with.used[o][length]);
        if (with.used[o][length]) {
          EXPECT_EQ(0, std::memcmp(without.coeffs[o][length], with.coeffs[o][length], sizeof with.coeffs[o][length]))
              << "acmod " << acmod << " output " << o;
        }
      }
    }
  }
  uint8_t block[ac3::kPcmBlockBytes + 8];
  std::memset(block, 0xA5, sizeof block);
  float samples[ac3::kBins];
  for (float& v : samples) v = 1234.0f;
  write(samples, samples, block);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(0xA5, block[ac3::kPcmBlockBytes + i]);
  EXPECT_EQ(1234, block[ac3::kPcmBlockBytes - 2] | (block[ac3::kPcmBlockBytes - 1] << 8));
}

// Channels are summed by the transform length they use: a channel with blksw set goes into its
// output's short sum, the others into the long one, each at its own gain.
TEST_F(FoldDown, ChannelsAreSummedByTransformLength) {
  const ac3::bsi b = stream(7, 0, 0);  // 3/2: L, C, R, Ls, Rs
  for (int ch = 0; ch < 5; ++ch) coeffs[ch][10] = static_cast<float>(ch + 1) * 0.1f;
  dec->audblk.blksw[1] = 1;  // C short
  dec->audblk.blksw[3] = 1;  // Ls short
  fold(b);
  const ac3::folded_block& f = dec->folded;
  ASSERT_EQ(2, f.outputs);
  for (int o = 0; o < 2; ++o) {
    EXPECT_TRUE(f.used[o][ac3::kLongTransform]) << o;
    EXPECT_TRUE(f.used[o][ac3::kShortTransform]) << o;
  }
  const float front = 0.4142f * 32767.0f, centre = 0.2928f * 32767.0f, surround = 0.2928f * 32767.0f;
  EXPECT_FLOAT_EQ(front * 0.1f, f.coeffs[0][ac3::kLongTransform][10]);                            // L
  EXPECT_FLOAT_EQ(centre * 0.2f + surround * 0.4f, f.coeffs[0][ac3::kShortTransform][10]);         // C + Ls
  EXPECT_FLOAT_EQ(front * 0.3f + surround * 0.5f, f.coeffs[1][ac3::kLongTransform][10]);          // R + Rs
  EXPECT_FLOAT_EQ(centre * 0.2f, f.coeffs[1][ac3::kShortTransform][10]);                          // C
  for (int o = 0; o < 2; ++o)
    for (int length = 0; length < 2; ++length)
      for (int i = 0; i < ac3::kBins; ++i)
        if (i != 10) {
          ASSERT_EQ(0.0f, f.coeffs[o][length][i]) << o << " " << length << " bin " << i;
        }

  // All long again: the short sums are unused, whatever they still hold.
  dec->audblk.blksw[1] = dec->audblk.blksw[3] = 0;
  fold(b);
  EXPECT_FALSE(f.used[0][ac3::kShortTransform]);
  EXPECT_FALSE(f.used[1][ac3::kShortTransform]);
  EXPECT_FLOAT_EQ(front * 0.1f + centre * 0.2f + surround * 0.4f, folded(0, 10));
}

}  // namespace

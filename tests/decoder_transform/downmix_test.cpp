// Fold-down to 16-bit stereo: truncation, saturation, the mono scale, channel roles per mode,
// the mix levels, surround-compatible antiphase, and what must never reach the output.
#include <gtest/gtest.h>

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

  // Mixes and returns sample pair i of the block.
  pair16 mix(const ac3::bsi& b, int i = 0) {
    fold(b, out);
    return pair_at(i);
  }
  // The decoder's fold-down of the test's coefficients for a stream of this mode.
  void fold(const ac3::bsi& b, uint8_t* into) {
    dec->bsi = b;
    ac3::mix_to_stereo(dec, into);
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
  const ac3::bsi b = stream(2);
  const float values[] = {0.5f, -0.5f, 1.0f / 32767.0f * 0.999f, -1.5f / 32767.0f, 0.25f};
  const int expected[] = {16383, -16383, 0, -1, 8191};
  for (int i = 0; i < 5; ++i) {
    coeffs[0][i] = values[i];
    coeffs[1][i] = -values[i];
  }
  fold(b, out);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(expected[i], pair_at(i).left) << "value " << values[i];
    EXPECT_EQ(-expected[i], pair_at(i).right) << "value " << values[i];
  }
}

// Full scale and beyond saturate at +32767 / -32767 instead of wrapping around.
TEST_F(FoldDown, FullScaleSaturatesInsteadOfWrapping) {
  const ac3::bsi b = stream(2);
  const float values[] = {1.0f, 1.0001f, 2.0f, 1000.0f, -1.0f, -1.0001f, -2.0f, -1000.0f};
  const int expected[] = {32767, 32767, 32767, 32767, -32767, -32767, -32767, -32767};
  for (int i = 0; i < 8; ++i) coeffs[0][i] = coeffs[1][i] = values[i];
  fold(b, out);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(expected[i], pair_at(i).left) << "value " << values[i];
    EXPECT_EQ(expected[i], pair_at(i).right) << "value " << values[i];
  }
}

// A loud 3/2 sum saturates too: the gains add up to 0.9998, so channels at 1.5 overload it.
TEST_F(FoldDown, OverloadedFoldDownSaturates) {
  const ac3::bsi b = stream(7, 0, 0);
  for (int ch = 0; ch < 5; ++ch) coeffs[ch][0] = 1.5f;
  for (int ch = 0; ch < 5; ++ch) coeffs[ch][1] = -1.5f;
  coeffs[0][2] = 3.0f;  // 0.4142 * 3 alone is past full scale
  fold(b, out);
  EXPECT_EQ(32767, pair_at(0).left);
  EXPECT_EQ(32767, pair_at(0).right);
  EXPECT_EQ(-32767, pair_at(1).left);
  EXPECT_EQ(-32767, pair_at(1).right);
  EXPECT_EQ(32767, pair_at(2).left);
  EXPECT_EQ(0, pair_at(2).right);
}

TEST_F(FoldDown, MonoIsIdenticalOnBothSidesAtMonoScale) {
  const ac3::bsi b = stream(1);
  coeffs[0][0] = 1.0f;
  coeffs[0][1] = -0.5f;
  coeffs[0][2] = 0.123f;
  coeffs[1][0] = 0.9f;  // not a channel of 1/0
  fold(b, out);
  EXPECT_EQ(23169, pair_at(0).left);   // 0.7071 of full scale
  EXPECT_EQ(-11584, pair_at(1).left);  // 11584.77 truncated toward zero
  EXPECT_EQ(2849, pair_at(2).left);    // 2849.85
  for (int i = 0; i < 256; ++i) EXPECT_EQ(pair_at(i).left, pair_at(i).right) << "pair " << i;
}

TEST_F(FoldDown, DualMonoPlaysTheChosenProgrammeOnBothSides) {
  const ac3::bsi b = stream(0);
  coeffs[0][0] = 0.5f;    // Ch1
  coeffs[1][0] = -0.25f;  // Ch2
  pair16 p = mix(b);
  EXPECT_EQ(11584, p.left);
  EXPECT_EQ(11584, p.right);

  dec->config.dual_mono_channel = 1;
  p = mix(b);
  EXPECT_EQ(-5792, p.left);
  EXPECT_EQ(-5792, p.right);
  dec->config.dual_mono_channel = 0;
}

// The role of each channel slot per mode: fronts to their own side only, the centre equally to
// both, surrounds in phase (normal) or in antiphase (surround-compatible). A unit sample in one
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
  fold(b, out);
  EXPECT_EQ(6786, pair_at(0).left);  // 0.2071 * 32767 = 6786.05
  EXPECT_EQ(6786, pair_at(0).right);
  for (int i = 1; i <= 2; ++i) {
    EXPECT_EQ(0, pair_at(i).left) << "pair " << i;
    EXPECT_EQ(0, pair_at(i).right) << "pair " << i;
  }
  EXPECT_EQ(13572, pair_at(3).left);  // 0.4142 * 32767 = 13572.09
  EXPECT_EQ(0, pair_at(3).right);

  dec->surround_mode = 1;
  fold(b, out);
  EXPECT_EQ(-7421, pair_at(4).left);  // 0.2265 * (0.5 + 0.5) * 32767 = 7421.7
  EXPECT_EQ(7421, pair_at(4).right);
  EXPECT_EQ(7421, pair_at(0).left);   // centre at 0.2265 whatever cmixlev
  EXPECT_EQ(10498, pair_at(3).left);  // 0.3204 * 32767 = 10498.5
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
    fold(b, out);
    EXPECT_EQ(centre[code], pair_at(0).left) << "cmixlev " << code;
    EXPECT_EQ(surround[code], pair_at(1).right) << "surmixlev " << code;
  }
  // Surround-compatible 3/0 scales the centre by its own table, indexed by cmixlev.
  dec->surround_mode = 1;
  const int surround_centre[4] = {13570, 11440, 9597, 11440};  // 0.5858 * (0.707, 0.596, 0.5, 0.596)
  for (int code = 0; code < 4; ++code) {
    const ac3::bsi b = stream(3, code, 0);
    std::memset(coeffs, 0, sizeof coeffs);
    coeffs[1][0] = 1.0f;
    fold(b, out);
    EXPECT_NEAR(surround_centre[code], pair_at(0).left, 1) << "cmixlev " << code;
  }
}

// Neither the LFE slot nor slots the mode does not use ever reach the output, and the block's
// 1024 bytes are all that is written.
TEST_F(FoldDown, LfeAndUnusedSlotsNeverReachTheOutput) {
  for (int acmod = 0; acmod < 8; ++acmod) {
    ac3::bsi b = stream(acmod, 1, 1);
    std::memset(coeffs, 0, sizeof coeffs);
    for (int ch = 0; ch < b.nfchans; ++ch)
      for (int i = 0; i < 256; ++i) coeffs[ch][i] = 0.001f * static_cast<float>((i * (ch + 3)) % 200) - 0.1f;
    b.lfeon = 0;
    uint8_t without[ac3::kPcmBlockBytes + 8];
    std::memset(without, 0xA5, sizeof without);
    fold(b, without);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(0xA5, without[ac3::kPcmBlockBytes + i]);

    b.lfeon = 1;
    for (int ch = b.nfchans; ch < ac3::kCoeffSlots; ++ch)
      for (int i = 0; i < 256; ++i) coeffs[ch][i] = 0.9f;
    uint8_t with[ac3::kPcmBlockBytes];
    fold(b, with);
    EXPECT_EQ(0, std::memcmp(without, with, sizeof with)) << "acmod " << acmod;
  }
}

}  // namespace

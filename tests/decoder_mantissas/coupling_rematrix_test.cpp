// Rebuilding coupled channels (coordinates, bands, phase flags, dither) and undoing rematrixing.
#include <gtest/gtest.h>

#include <cstring>

#include "ac3/coupling.h"
#include "ac3/dither.h"
#include "ac3/mantissas.h"
#include "ac3/stages.h"
#include "support/decoder_feed.h"

namespace {

ac3::bsi mode(int acmod) {
  const int nfchans[8] = {2, 1, 2, 3, 3, 4, 4, 5};
  ac3::bsi b{};
  b.acmod = static_cast<uint16_t>(acmod);
  b.nfchans = static_cast<uint16_t>(nfchans[acmod]);
  return b;
}

// Coupling over bins 37..72: three sub-bands; sub-band 2 joins sub-band 1, so two bands.
class Coupling : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&ab, 0, sizeof ab);
    std::memset(coeffs, 0, sizeof coeffs);
    ab.cplinu = 1;
    ab.chincpl[0] = ab.chincpl[1] = 1;
    ab.cplbegf = 0;
    ab.cplstrtmant = 37;
    ab.cplendmant = 73;
    ab.ncplsubnd = 3;
    ab.ncplbnd = 2;
    ab.cplbndstrc[2] = 1;
    for (int bin = 37; bin < 73; ++bin) {
      ab.cplmant[bin] = 0.5f * ac3::kMantissaUnit;
      ab.cpl_exp[bin] = 1;       // × 0.5
      ab.cpl_bap[bin] = 3;
    }
    for (int ch = 0; ch < 2; ++ch) {
      ab.mstrcplco[ch] = 1;
      ab.cplcoexp[ch][0] = 0;    // (8 + 16) / 32 × 2^-3 × 8 = 0.75
      ab.cplcomant[ch][0] = 8;
      ab.cplcoexp[ch][1] = 15;   // 4 / 16 × 2^-18 × 8 = 2^-17
      ab.cplcomant[ch][1] = 4;
    }
  }

  // Rebuilds channel ch of a stream of this mode into its coefficients.
  void decouple(const ac3::bsi& b, int ch) {
    dec->bsi = b;
    ac3::decouple_channel(dec, coeffs[ch], ch);
  }

  decoder_test::test_decoder dec;
  ac3::audblk& ab = dec->audblk;
  ac3::coeff_buffer_t& coeffs = dec->coeffs;
};

TEST_F(Coupling, CoordinatesScaleTheCouplingChannelPerBand) {
  decouple(mode(2), 0);
  EXPECT_EQ(coeffs[0][36], 0.0f);
  for (int bin = 37; bin < 49; ++bin) EXPECT_FLOAT_EQ(coeffs[0][bin], 0.25f * 0.75f) << bin;
  for (int bin = 49; bin < 73; ++bin) EXPECT_FLOAT_EQ(coeffs[0][bin], 0.25f / 131072) << bin;
  EXPECT_EQ(coeffs[0][73], 0.0f);
}

TEST_F(Coupling, PhaseFlagsNegateTheSecondChannelOfAStereoPairInTheirBands) {
  ab.phsflginu = 1;
  ab.phsflg[0] = 0;
  ab.phsflg[1] = 1;
  decouple(mode(2), 0);
  decouple(mode(2), 1);
  EXPECT_FLOAT_EQ(coeffs[1][40], coeffs[0][40]);
  EXPECT_GT(coeffs[0][60], 0.0f);
  EXPECT_FLOAT_EQ(coeffs[1][60], -coeffs[0][60]);
  EXPECT_FLOAT_EQ(coeffs[1][72], -coeffs[0][72]);

  // Without phsflginu, or outside 2/0, the flags are not looked at.
  ab.phsflginu = 0;
  decouple(mode(2), 1);
  EXPECT_FLOAT_EQ(coeffs[1][60], coeffs[0][60]);
  ab.phsflginu = 1;
  decouple(mode(6), 1);
  EXPECT_FLOAT_EQ(coeffs[1][60], coeffs[0][60]);
}

TEST_F(Coupling, DitherFillsOnlyTheBinsWithoutBitsWhenTheChannelAsksForIt) {
  for (int bin = 37; bin < 73; ++bin) ab.cpl_bap[bin] = bin % 2 == 0 ? 0 : 3;
  ab.dithflag[0] = 1;
  decouple(mode(2), 0);
  int dithered = 0;
  for (int bin = 38; bin < 48; bin += 2) {
    if (coeffs[0][bin] != 0.25f * 0.75f) ++dithered;
  }
  EXPECT_GE(dithered, 4);
  for (int bin = 37; bin < 49; bin += 2) EXPECT_FLOAT_EQ(coeffs[0][bin], 0.25f * 0.75f) << bin;

  // Without dither the stored coupling mantissa is used whatever the bap.
  ab.dithflag[1] = 0;
  const uint16_t before = dec->dither_position;
  decouple(mode(2), 1);
  EXPECT_EQ(dec->dither_position, before);
  for (int bin = 37; bin < 49; ++bin) EXPECT_FLOAT_EQ(coeffs[1][bin], 0.25f * 0.75f) << bin;
}

// Each dithered coupled channel takes the next dither values for the coupling channel's bins without
// bits, in bin order, each scaled by its bin's exponent and band coordinate; the next channel goes
// on from there.
TEST_F(Coupling, DitheredChannelsTakeConsecutiveDitherValues) {
  for (int bin = 37; bin < 73; ++bin) ab.cpl_bap[bin] = bin % 3 == 0 ? 0 : 3;
  ab.dithflag[0] = ab.dithflag[1] = 1;
  const int start = ac3::kDitherCycle - 5;  // the second channel runs past the cycle's end
  dec->dither_position = static_cast<uint16_t>(start);
  ac3::coupling_zeros zeros;
  ac3::find_coupling_zeros(ab, zeros);
  ASSERT_EQ(zeros.count, 12);  // 39, 42, ..., 72
  EXPECT_EQ(zeros.bins[0], 39);
  EXPECT_EQ(zeros.bins[11], 72);
  int p = start;
  for (int ch = 0; ch < 2; ++ch) {
    dec->bsi = mode(2);
    ac3::decouple_channel(dec, coeffs[ch], ch, zeros);
    for (int bin = 37; bin < 73; ++bin) {
      const float coordinate = bin < 49 ? 0.75f : 1.0f / 131072;  // band 0: sub-band 0; band 1: sub-bands 1, 2
      if (bin % 3 != 0) {
        EXPECT_EQ(coeffs[ch][bin], 0.25f * coordinate) << ch << " " << bin;
        continue;
      }
      EXPECT_EQ(coeffs[ch][bin], ac3::dither_values.values[p] / ac3::kMantissaUnit * 0.5f * coordinate) << ch << " " << bin;
      p = p + 1 == ac3::kDitherCycle ? 0 : p + 1;
    }
  }
  EXPECT_EQ(dec->dither_position, p);
}

TEST_F(Coupling, CoordinatesNotSentAreThoseOfTheEarlierBlock) {
  decouple(mode(2), 0);
  const float first = coeffs[0][40];
  ab.cplcoe[0] = 0;   // this block sends none; the stored ones stay in force
  std::memset(coeffs, 0, sizeof coeffs);
  decouple(mode(2), 0);
  EXPECT_EQ(coeffs[0][40], first);
}

class Rematrix : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&ab, 0, sizeof ab);
    for (int bin = 0; bin < 256; ++bin) {
      coeffs[0][bin] = 3.0f;
      coeffs[1][bin] = 1.0f;
    }
  }
  bool rematrixed(int bin) const { return coeffs[0][bin] == 4.0f && coeffs[1][bin] == 2.0f; }
  bool untouched(int bin) const { return coeffs[0][bin] == 3.0f && coeffs[1][bin] == 1.0f; }

  decoder_test::test_decoder dec;
  ac3::audblk& ab = dec->audblk;
  ac3::coeff_buffer_t& coeffs = dec->coeffs;
};

TEST_F(Rematrix, WithoutCouplingTheLastBandEndsAtBin252) {
  ab.rematflg[0] = 1;
  ab.rematflg[3] = 1;
  ac3::rematrix_stereo(dec);
  EXPECT_TRUE(untouched(12));
  EXPECT_TRUE(rematrixed(13));
  EXPECT_TRUE(rematrixed(24));
  EXPECT_TRUE(untouched(25));
  EXPECT_TRUE(untouched(60));
  EXPECT_TRUE(rematrixed(61));
  EXPECT_TRUE(rematrixed(252));
  EXPECT_TRUE(untouched(253));
}

TEST_F(Rematrix, WithCouplingBandsStopBelowTheCouplingRange) {
  ab.cplinu = 1;
  ab.cplbegf = 3;   // coupling from bin 73
  ab.rematflg[2] = ab.rematflg[3] = 1;
  ac3::rematrix_stereo(dec);
  EXPECT_TRUE(untouched(36));
  EXPECT_TRUE(rematrixed(37));
  EXPECT_TRUE(rematrixed(61));
  EXPECT_TRUE(rematrixed(72));
  EXPECT_TRUE(untouched(73));

  SetUp();
  ab.cplinu = 1;
  ab.cplbegf = 1;   // three bands; the third ends at bin 48
  ab.rematflg[2] = ab.rematflg[3] = 1;
  ac3::rematrix_stereo(dec);
  EXPECT_TRUE(rematrixed(48));
  EXPECT_TRUE(untouched(49));
  EXPECT_TRUE(untouched(61));

  SetUp();
  ab.cplinu = 1;
  ab.cplbegf = 0;   // two bands: a flag kept for band 2 is not used
  ab.rematflg[1] = ab.rematflg[2] = 1;
  ac3::rematrix_stereo(dec);
  EXPECT_TRUE(rematrixed(25));
  EXPECT_TRUE(rematrixed(36));
  EXPECT_TRUE(untouched(37));
}

TEST_F(Rematrix, BandsWithoutTheirFlagAreLeftAlone) {
  ac3::rematrix_stereo(dec);
  for (int bin = 0; bin < 256; ++bin) EXPECT_TRUE(untouched(bin)) << bin;
}

}  // namespace

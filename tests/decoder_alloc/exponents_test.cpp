// Exponent expansion: strategies D15/D25/D45, the coupling and LFE sets, and invalid groups.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ac3/exponents.h"
#include "ac3/stages.h"
#include "support/decoder_feed.h"

namespace {

using ac3::exponent_kind;
using decoder_test::diagnostics_capture;

constexpr char kInvalidExponent[] = "** Invalid exponent - skipping frame **\n";

// A group from three deltas in -2..2.
uint16_t group(int d0, int d1, int d2) {
  return static_cast<uint16_t>(25 * (d0 + 2) + 5 * (d1 + 2) + (d2 + 2));
}

class Exponents : public ::testing::Test {
 protected:
  void SetUp() override {
    dec->error_flag = 0;
    for (uint16_t& e : target) e = 99;
  }
  decoder_test::test_decoder dec;
  uint16_t target[256];
};

TEST_F(Exponents, StrategiesRepeatEachValueOneTwoOrFourTimes) {
  const uint16_t grps[2] = {group(1, -1, 2), group(0, 0, -2)};
  const std::vector<int> values = {6, 5, 7, 7, 7, 5};   // from absolute 5
  for (int strategy = 1; strategy <= 3; ++strategy) {
    SCOPED_TRACE(strategy);
    SetUp();
    ASSERT_TRUE(
        ac3::expand_exponent_set(dec, exponent_kind::full_bandwidth, strategy, 2, 5, grps, target, 256));
    const int repeat = 1 << (strategy - 1);
    EXPECT_EQ(target[0], 5);
    for (size_t v = 0; v < values.size(); ++v) {
      for (int r = 0; r < repeat; ++r) EXPECT_EQ(target[1 + v * repeat + r], values[v]);
    }
    EXPECT_EQ(target[1 + values.size() * repeat], 99);
  }
}

TEST_F(Exponents, ReuseChangesNothing) {
  const uint16_t grps[1] = {group(2, 2, 2)};
  EXPECT_TRUE(ac3::expand_exponent_set(dec, exponent_kind::full_bandwidth, 0, 1, 3, grps, target, 256));
  EXPECT_EQ(target[0], 99);
}

TEST_F(Exponents, D45AtWidestBandwidthFillsBinsZeroTo252) {
  // endmant 253 in D45: (253 + 8) / 12 = 21 groups.
  std::vector<uint16_t> grps(21, group(0, 0, 0));
  grps[20] = group(1, 1, 1);
  ASSERT_TRUE(
      ac3::expand_exponent_set(dec, exponent_kind::full_bandwidth, 3, 21, 4, grps.data(), target, 256));
  EXPECT_EQ(target[0], 4);
  EXPECT_EQ(target[240], 4);
  EXPECT_EQ(target[241], 5);
  EXPECT_EQ(target[245], 6);
  EXPECT_EQ(target[252], 7);
  EXPECT_EQ(target[253], 99);
}

TEST_F(Exponents, CouplingStoresNoAbsoluteExponent) {
  const uint16_t grps[2] = {group(-2, 0, 1), group(0, 0, 0)};
  // Absolute value 2 × cplabsexp = 10; the first stored value is 8.
  ASSERT_TRUE(ac3::expand_exponent_set(dec, exponent_kind::coupling, 1, 2, 10, grps, target + 37, 256 - 37));
  EXPECT_EQ(target[36], 99);
  EXPECT_EQ(target[37], 8);
  EXPECT_EQ(target[38], 8);
  EXPECT_EQ(target[39], 9);
  EXPECT_EQ(target[42], 9);
  EXPECT_EQ(target[43], 99);
}

TEST_F(Exponents, LfeIsTwoD15GroupsOverSevenBins) {
  ac3::bsi& b = dec->bsi;
  b.acmod = 1;
  b.nfchans = 1;
  b.lfeon = 1;
  ac3::audblk& ab = dec->audblk;
  ab.lfeexpstr = 1;
  ab.lfeexps[0] = 12;
  ab.lfeexps[1] = group(-1, -1, -1);
  ab.lfeexps[2] = group(2, 0, 1);
  ac3::expand_exponents(dec);
  const uint16_t expected[7] = {12, 11, 10, 9, 11, 11, 12};
  for (int bin = 0; bin < 7; ++bin) EXPECT_EQ(ab.lfe_exp[bin], expected[bin]) << bin;
}

TEST_F(Exponents, GroupAbove124MakesTheFrameBadWithOneMessage) {
  ac3::bsi& b = dec->bsi;
  b.acmod = 2;
  b.nfchans = 2;
  ac3::audblk& ab = dec->audblk;
  for (int ch = 0; ch < 2; ++ch) {
    ab.chexpstr[ch] = 1;
    ab.endmant[ch] = 73;
    ab.nchgrps[ch] = 24;
    ab.exps[ch][0] = 10;
    for (int g = 1; g <= 24; ++g) ab.exps[ch][g] = group(0, 0, 0);
  }
  ab.exps[0][3] = 125;   // bins 7..9
  ab.exps[1][1] = 127;
  diagnostics_capture capture;
  ac3::expand_exponents(dec);
  EXPECT_TRUE(dec->error_flag);
  EXPECT_EQ(capture.count_err(kInvalidExponent), 1);
  EXPECT_EQ(capture.err, kInvalidExponent);
  // What came before the bad group is stored; nothing after it.
  EXPECT_EQ(ab.fbw_exp[0][6], 10);
  EXPECT_EQ(ab.fbw_exp[0][7], 0);
  EXPECT_EQ(ab.fbw_exp[1][0], 0);
}

TEST_F(Exponents, ExponentsOutsideZeroTo24AreInvalid) {
  const uint16_t up[3] = {group(2, 2, 2), group(2, 2, 2), group(2, 2, 2)};
  const uint16_t down[1] = {group(-2, -2, 0)};
  {
    diagnostics_capture capture;
    // 12 + 6 + 6 = 24 is the largest valid exponent; one more step passes it.
    EXPECT_FALSE(ac3::expand_exponent_set(dec, exponent_kind::full_bandwidth, 1, 3, 12, up, target, 256));
    EXPECT_EQ(target[6], 24);
    EXPECT_EQ(target[7], 99);
    EXPECT_EQ(capture.count_err(kInvalidExponent), 1);
  }
  SetUp();
  {
    diagnostics_capture capture;
    EXPECT_FALSE(ac3::expand_exponent_set(dec, exponent_kind::full_bandwidth, 1, 1, 3, down, target, 256));
    EXPECT_EQ(target[1], 1);
    EXPECT_EQ(target[2], 99);
    EXPECT_EQ(capture.count_err(kInvalidExponent), 1);
  }
  // The coupling absolute value (2 × cplabsexp, up to 30) may pass 24 when no stored value does.
  dec->error_flag = 0;
  const uint16_t back[1] = {group(-2, 0, -1)};
  EXPECT_TRUE(ac3::expand_exponent_set(dec, exponent_kind::coupling, 1, 1, 26, back, target, 256));
  EXPECT_EQ(target[0], 24);
  EXPECT_EQ(target[2], 23);
}

// In every strategy a fault stops the stores exactly where it is: the values before the bad one
// are stored (each as many times as the strategy repeats it), nothing after it.
TEST_F(Exponents, AFaultInAnyStrategyStopsTheStoresAtTheBadValue) {
  for (int strategy = 1; strategy <= 3; ++strategy) {
    const int repeat = 1 << (strategy - 1);
    for (const bool bad_code : {false, true}) {
      SCOPED_TRACE(std::to_string(strategy) + (bad_code ? " code above 124" : " exponent below 0"));
      SetUp();
      // From 6: 7, 8, 9, then 8, 7, 6, then either a code above 124 or 4, 2, 0, -1.
      std::vector<uint16_t> grps = {group(1, 1, 1), group(-1, -1, -1), group(-2, -2, -2), group(-1, 0, 0)};
      if (bad_code) grps[2] = 125;
      diagnostics_capture capture;
      EXPECT_FALSE(ac3::expand_exponent_set(dec, exponent_kind::full_bandwidth, strategy, 4, 6, grps.data(),
                                            target, 256));
      EXPECT_EQ(capture.count_err(kInvalidExponent), 1);
      const std::vector<int> stored = bad_code ? std::vector<int>{6, 7, 8, 9, 8, 7, 6}
                                               : std::vector<int>{6, 7, 8, 9, 8, 7, 6, 4, 2, 0};
      int bin = 0;
      for (size_t v = 0; v < stored.size(); ++v) {
        for (int r = 0; r < (v == 0 ? 1 : repeat); ++r, ++bin) EXPECT_EQ(target[bin], stored[v]) << "bin " << bin;
      }
      EXPECT_EQ(target[bin], 99) << "nothing after the fault";
    }
  }
}

TEST_F(Exponents, WritesStopAtTheTargetsEnd) {
  const uint16_t grps[2] = {group(0, 0, 0), group(0, 0, 0)};
  diagnostics_capture capture;
  EXPECT_FALSE(ac3::expand_exponent_set(dec, exponent_kind::coupling, 3, 2, 4, grps, target + 240, 16));
  EXPECT_TRUE(dec->error_flag);
  EXPECT_EQ(capture.count_err(kInvalidExponent), 1);
}

TEST_F(Exponents, MessageIsNotRepeatedWhenTheFrameIsAlreadyBad) {
  const uint16_t grps[1] = {125};
  dec->error_flag = 1;
  diagnostics_capture capture;
  EXPECT_FALSE(ac3::expand_exponent_set(dec, exponent_kind::full_bandwidth, 1, 1, 3, grps, target, 256));
  EXPECT_TRUE(capture.err.empty());
}

}  // namespace

// Mantissas: each quantizer, groups shared across channels, invalid codes, dither, stream order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ac3/bitstream.h"
#include "ac3/dither.h"
#include "ac3/mantissas.h"
#include "ac3/stages.h"
#include "support/decoder_feed.h"

namespace {

using decoder_test::bit_writer;
using decoder_test::diagnostics_capture;

constexpr char kInvalidMantissa[] = "** Invalid mantissa - skipping frame **\n";

ac3::bsi mode(int acmod, int lfeon) {
  const int nfchans[8] = {2, 1, 2, 3, 3, 4, 4, 5};
  ac3::bsi b{};
  b.acmod = static_cast<uint16_t>(acmod);
  b.lfeon = static_cast<uint16_t>(lfeon);
  b.nfchans = static_cast<uint16_t>(nfchans[acmod]);
  return b;
}

class Mantissas : public ::testing::Test {
 protected:
  void SetUp() override {
    ac3::error_flag = 0;
    std::memset(&ab, 0, sizeof ab);
    std::memset(coeffs, 0, sizeof coeffs);
    ac3::group_state_reset();
  }
  void TearDown() override { ac3::error_flag = 0; }

  void load(bit_writer& w) {
    w.put(0x3C5, 10);   // a marker after the mantissas
    bits_ = w.size_bits() - 10;
    decoder_test::load_frame_body(w.bytes());
  }
  // All mantissa bits and no more were read.
  void expect_all_read() { EXPECT_EQ(ac3::bits_position(), bits_); }

  static ac3::audblk ab;
  static ac3::coeff_buffer_t coeffs;
  int bits_ = 0;
};

ac3::audblk Mantissas::ab;
ac3::coeff_buffer_t Mantissas::coeffs;

TEST_F(Mantissas, GroupedQuantizersHandOutTheirDigitsInOrder) {
  bit_writer w;
  w.put(9 * 0 + 3 * 1 + 2, 5);      // bap 1: levels 0, 1, 2
  w.put(25 * 4 + 5 * 0 + 3, 7);     // bap 2: levels 4, 0, 3
  w.put(11 * 10 + 1, 7);            // bap 4: levels 10, 1
  load(w);
  const int16_t bap1[3] = {-21845, 0, 21845};
  for (int16_t v : bap1) EXPECT_EQ(ac3::next_mantissa(1, false), v);
  const int16_t bap2[3] = {26214, -26214, 13107};
  for (int16_t v : bap2) EXPECT_EQ(ac3::next_mantissa(2, false), v);
  EXPECT_EQ(ac3::next_mantissa(4, false), 29789);
  EXPECT_EQ(ac3::next_mantissa(4, false), -23831);
  expect_all_read();
}

TEST_F(Mantissas, InterleavedGroupsKeepTheirOwnState) {
  bit_writer w;
  w.put(26, 5);      // bap 1 group: 2, 2, 2
  w.put(0, 7);       // bap 4 group: 0, 0
  w.put(0, 5);       // second bap 1 group: 0, 0, 0
  load(w);
  EXPECT_EQ(ac3::next_mantissa(1, false), 21845);
  EXPECT_EQ(ac3::next_mantissa(4, false), -29789);
  EXPECT_EQ(ac3::next_mantissa(1, false), 21845);
  EXPECT_EQ(ac3::next_mantissa(4, false), -29789);
  EXPECT_EQ(ac3::next_mantissa(1, false), 21845);
  EXPECT_EQ(ac3::next_mantissa(1, false), -21845);
  expect_all_read();
}

TEST_F(Mantissas, TableQuantizersAndTwosComplementCodes) {
  bit_writer w;
  w.put(6, 3);            // bap 3: 28086
  w.put(0, 4);            // bap 5: -30583
  w.put(0b10000, 5);      // bap 6: most negative of 5 bits
  w.put(0b01111, 5);      // bap 6: largest positive
  w.put(0x2AB, 14);       // bap 14
  w.put(0x8000, 16);      // bap 15: -1.0
  w.put(0x7FFF, 16);      // bap 15
  load(w);
  EXPECT_EQ(ac3::next_mantissa(3, false), 28086);
  EXPECT_EQ(ac3::next_mantissa(5, false), -30583);
  EXPECT_EQ(ac3::next_mantissa(6, false), -32768);
  EXPECT_EQ(ac3::next_mantissa(6, false), 15 << 11);
  EXPECT_EQ(ac3::next_mantissa(14, false), 0x2AB << 2);
  EXPECT_EQ(ac3::next_mantissa(15, false), -32768);
  EXPECT_EQ(ac3::next_mantissa(15, false), 32767);
  expect_all_read();
}

TEST_F(Mantissas, Bap15CodeOf0x8000IsMinusOneTimesTheExponentsScale) {
  bit_writer w;
  w.put(0x8000, 16);
  load(w);
  ab.endmant[0] = 1;
  ab.fbw_bap[0][0] = 15;
  ab.fbw_exp[0][0] = 3;
  ac3::unpack_coefficients(mode(1, 0), ab, coeffs);
  EXPECT_EQ(coeffs[0][0], -0.125f);
  expect_all_read();
}

TEST_F(Mantissas, GroupBegunInOneChannelContinuesInTheNext) {
  bit_writer w;
  w.put(9 * 2 + 3 * 0 + 1, 5);   // levels 2, 0, 1
  w.put(25 * 1 + 4, 7);          // bap 2 in the LFE: levels 1, 0, 4
  load(w);
  ab.endmant[0] = 1;
  ab.endmant[1] = 2;
  ab.fbw_bap[0][0] = 1;
  ab.fbw_bap[1][0] = 1;
  ab.fbw_bap[1][1] = 1;
  ab.lfe_bap[0] = 2;
  ab.lfe_bap[1] = 2;
  ab.lfe_exp[0] = ab.lfe_exp[1] = 1;
  ac3::unpack_coefficients(mode(2, 1), ab, coeffs);
  EXPECT_FLOAT_EQ(coeffs[0][0], 21845.0f / 32768);
  EXPECT_FLOAT_EQ(coeffs[1][0], -21845.0f / 32768);
  EXPECT_EQ(coeffs[1][1], 0.0f);
  EXPECT_FLOAT_EQ(coeffs[5][0], -13107.0f / 65536);
  EXPECT_FLOAT_EQ(coeffs[5][1], -26214.0f / 65536);
  expect_all_read();
}

TEST_F(Mantissas, GroupsDoNotCarryOverIntoTheNextBlock) {
  bit_writer w;
  w.put(26, 5);    // block 1: one bap-1 bin uses the first of three levels
  w.put(0, 5);     // block 2 starts a new group
  load(w);
  ab.endmant[0] = 1;
  ab.fbw_bap[0][0] = 1;
  ac3::unpack_coefficients(mode(1, 0), ab, coeffs);
  EXPECT_FLOAT_EQ(coeffs[0][0], 21845.0f / 32768);
  ac3::unpack_coefficients(mode(1, 0), ab, coeffs);
  EXPECT_FLOAT_EQ(coeffs[0][0], -21845.0f / 32768);
  expect_all_read();
}

TEST_F(Mantissas, InvalidCodesMakeTheFrameBadWithOneMessage) {
  const struct { int bap, bits; uint32_t code; } cases[] = {
      {1, 5, 27}, {1, 5, 31}, {2, 7, 125}, {2, 7, 127}, {4, 7, 121}, {3, 3, 7}, {5, 4, 15}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    SetUp();
    bit_writer w;
    for (int i = 0; i < 3; ++i) w.put(c.code, c.bits);   // three bins with an invalid code each
    load(w);
    ab.endmant[0] = 3;
    for (int bin = 0; bin < 3; ++bin) ab.fbw_bap[0][bin] = static_cast<uint16_t>(c.bap);
    for (int bin = 0; bin < 3; ++bin) coeffs[0][bin] = 5.0f;
    diagnostics_capture capture;
    ac3::unpack_coefficients(mode(1, 0), ab, coeffs);
    EXPECT_TRUE(ac3::error_flag);
    EXPECT_EQ(capture.err, kInvalidMantissa);
    // Unpacking goes on to the block's end; no digits are handed out from an invalid group, so
    // every bin reads a code of its own.
    for (int bin = 0; bin < 3; ++bin) EXPECT_EQ(coeffs[0][bin], 0.0f);
    EXPECT_EQ(ac3::bits_position(), 3 * c.bits);
  }
}

TEST_F(Mantissas, ValidCodesAtTheTopOfEachRangeAreAccepted) {
  bit_writer w;
  w.put(26, 5);
  w.put(124, 7);
  w.put(120, 7);
  w.put(6, 3);
  w.put(14, 4);
  load(w);
  diagnostics_capture capture;
  EXPECT_EQ(ac3::next_mantissa(1, false), 21845);
  EXPECT_EQ(ac3::next_mantissa(2, false), 26214);
  EXPECT_EQ(ac3::next_mantissa(4, false), 29789);
  EXPECT_EQ(ac3::next_mantissa(3, false), 28086);
  EXPECT_EQ(ac3::next_mantissa(5, false), 30583);
  EXPECT_FALSE(ac3::error_flag);
  EXPECT_TRUE(capture.err.empty());
}

TEST_F(Mantissas, ZeroBapBinsAreSilentWithoutDitherAndNoisyWithIt) {
  bit_writer w;
  load(w);
  ab.endmant[0] = ab.endmant[1] = 200;
  for (int bin = 0; bin < 200; ++bin) ab.fbw_exp[0][bin] = ab.fbw_exp[1][bin] = 2;
  ab.dithflag[0] = 0;
  ab.dithflag[1] = 1;
  for (float& v : coeffs[0]) v = 9.0f;
  ac3::unpack_coefficients(mode(2, 0), ab, coeffs);
  int nonzero = 0;
  for (int bin = 0; bin < 200; ++bin) {
    EXPECT_EQ(coeffs[0][bin], 0.0f);
    if (coeffs[1][bin] != 0.0f) ++nonzero;
    EXPECT_LE(std::fabs(coeffs[1][bin]), 0.7072f * 0.25f);
  }
  EXPECT_GT(nonzero, 190);
  expect_all_read();
}

TEST(Dither, RunsThroughEveryNonZeroRegisterStateBeforeRepeating) {
  const uint16_t saved = ac3::dither_register();
  ac3::dither_register_set(1);
  EXPECT_EQ(ac3::dither_next(), 181);   // register 0x0100: 256 × 0.707
  long long sum = 0;
  int peak = 0;
  int steps = 1;
  for (; ac3::dither_register() != 1 && steps < 70000; ++steps) {
    const int v = ac3::dither_next();
    sum += v;
    if (std::abs(v) > peak) peak = std::abs(v);
  }
  EXPECT_EQ(steps, 65535);
  EXPECT_EQ(peak, 23168);               // 32768 × 181 / 256
  EXPECT_LT(std::llabs(sum), 65535LL * 200);
  ac3::dither_register_set(saved);
}

TEST_F(Mantissas, StreamOrderPutsTheCouplingChannelAfterTheFirstCoupledChannel) {
  bit_writer w;
  w.put(0x1000, 16);                          // channel 0, outside coupling
  w.put(0x2000, 16);                          // channel 1, first coupled channel
  for (int i = 0; i < 12; ++i) w.put(0x0100 * (i + 1), 16);   // coupling channel, bins 37..48
  w.put(0x3000, 16);                          // channel 2
  w.put(0x4000, 16);                          // LFE bin 0
  load(w);
  const ac3::bsi b = mode(3, 1);
  ab.cplinu = 1;
  ab.chincpl[1] = ab.chincpl[2] = 1;
  ab.cplstrtmant = 37;
  ab.cplendmant = 49;
  ab.cplbndstrc[0] = 0;
  for (int ch = 0; ch < 3; ++ch) {
    ab.endmant[ch] = 1;
    ab.fbw_bap[ch][0] = 15;
  }
  for (int bin = 37; bin < 49; ++bin) ab.cpl_bap[bin] = 15;
  ab.lfe_bap[0] = 15;
  ac3::unpack_coefficients(b, ab, coeffs);
  EXPECT_FLOAT_EQ(coeffs[0][0], 0.125f);
  EXPECT_FLOAT_EQ(coeffs[1][0], 0.25f);
  EXPECT_FLOAT_EQ(coeffs[2][0], 0.375f);
  EXPECT_FLOAT_EQ(coeffs[5][0], 0.5f);
  EXPECT_EQ(ab.cplmant[37], 0x0100);
  EXPECT_EQ(ab.cplmant[48], 0x0C00);
  expect_all_read();
}

}  // namespace

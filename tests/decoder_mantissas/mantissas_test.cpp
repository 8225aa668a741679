// Mantissas: each quantizer, groups shared across channels, invalid codes, dither, stream order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "ac3/bitstream.h"
#include "ac3/dither.h"
#include "ac3/mantissas.h"
#include "ac3/stages.h"
#include "support/decoder_feed.h"

namespace {

using decoder_test::bit_writer;
using decoder_test::diagnostics_capture;

constexpr char kInvalidMantissa[] = "** Invalid mantissa - skipping frame **\n";

// A quantizer level as the exact fraction it stands for, rounded once to float.
float fraction(int numerator, int denominator) {
  return static_cast<float>(static_cast<double>(numerator) / denominator);
}

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
    dec->error_flag = 0;
    std::memset(&ab, 0, sizeof ab);
    std::memset(coeffs, 0, sizeof coeffs);
    ac3::group_state_reset(dec);
  }

  void load(bit_writer& w) {
    w.put(0x3C5, 10);   // a marker after the mantissas
    bits_ = w.size_bits() - 10;
    decoder_test::load_frame_body(dec, w.bytes());
  }
  // All mantissa bits and no more were read.
  void expect_all_read() { EXPECT_EQ(ac3::bits_position(dec), bits_); }

  // Unpacks the block as the test set it up, in a stream of this mode.
  void unpack(const ac3::bsi& b) {
    dec->bsi = b;
    ac3::unpack_coefficients(dec);
  }

  decoder_test::test_decoder dec;
  ac3::audblk& ab = dec->audblk;
  ac3::coeff_buffer_t& coeffs = dec->coeffs;
  int bits_ = 0;
};

TEST_F(Mantissas, GroupedQuantizersHandOutTheirDigitsInOrder) {
  bit_writer w;
  w.put(9 * 0 + 3 * 1 + 2, 5);      // bap 1: levels 0, 1, 2
  w.put(25 * 4 + 5 * 0 + 3, 7);     // bap 2: levels 4, 0, 3
  w.put(11 * 10 + 1, 7);            // bap 4: levels 10, 1
  load(w);
  const float bap1[3] = {fraction(-2, 3), 0.0f, fraction(2, 3)};
  for (float v : bap1) EXPECT_EQ(ac3::next_mantissa(dec, 1, false), v);
  const float bap2[3] = {fraction(4, 5), fraction(-4, 5), fraction(2, 5)};
  for (float v : bap2) EXPECT_EQ(ac3::next_mantissa(dec, 2, false), v);
  EXPECT_EQ(ac3::next_mantissa(dec, 4, false), fraction(10, 11));
  EXPECT_EQ(ac3::next_mantissa(dec, 4, false), fraction(-8, 11));
  expect_all_read();
}

TEST_F(Mantissas, InterleavedGroupsKeepTheirOwnState) {
  bit_writer w;
  w.put(26, 5);      // bap 1 group: 2, 2, 2
  w.put(0, 7);       // bap 4 group: 0, 0
  w.put(0, 5);       // second bap 1 group: 0, 0, 0
  load(w);
  EXPECT_EQ(ac3::next_mantissa(dec, 1, false), fraction(2, 3));
  EXPECT_EQ(ac3::next_mantissa(dec, 4, false), fraction(-10, 11));
  EXPECT_EQ(ac3::next_mantissa(dec, 1, false), fraction(2, 3));
  EXPECT_EQ(ac3::next_mantissa(dec, 4, false), fraction(-10, 11));
  EXPECT_EQ(ac3::next_mantissa(dec, 1, false), fraction(2, 3));
  EXPECT_EQ(ac3::next_mantissa(dec, 1, false), fraction(-2, 3));
  expect_all_read();
}

TEST_F(Mantissas, TableQuantizersAndTwosComplementCodes) {
  bit_writer w;
  w.put(6, 3);            // bap 3: 6/7
  w.put(0, 4);            // bap 5: -14/15
  w.put(0b10000, 5);      // bap 6: most negative of 5 bits
  w.put(0b01111, 5);      // bap 6: largest positive
  w.put(0x2AB, 14);       // bap 14
  w.put(0x8000, 16);      // bap 15: -1.0
  w.put(0x7FFF, 16);      // bap 15
  load(w);
  EXPECT_EQ(ac3::next_mantissa(dec, 3, false), fraction(6, 7));
  EXPECT_EQ(ac3::next_mantissa(dec, 5, false), fraction(-14, 15));
  EXPECT_EQ(ac3::next_mantissa(dec, 6, false), -1.0f);
  EXPECT_EQ(ac3::next_mantissa(dec, 6, false), 15.0f / 16);
  EXPECT_EQ(ac3::next_mantissa(dec, 14, false), 0x2AB / 8192.0f);
  EXPECT_EQ(ac3::next_mantissa(dec, 15, false), -1.0f);
  EXPECT_EQ(ac3::next_mantissa(dec, 15, false), 32767.0f / 32768);
  expect_all_read();
}

TEST_F(Mantissas, Bap15CodeOf0x8000IsMinusOneTimesTheExponentsScale) {
  bit_writer w;
  w.put(0x8000, 16);
  load(w);
  ab.endmant[0] = 1;
  ab.fbw_bap[0][0] = 15;
  ab.fbw_exp[0][0] = 3;
  unpack(mode(1, 0));
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
  unpack(mode(2, 1));
  EXPECT_EQ(coeffs[0][0], fraction(2, 3));
  EXPECT_EQ(coeffs[1][0], fraction(-2, 3));
  EXPECT_EQ(coeffs[1][1], 0.0f);
  EXPECT_EQ(coeffs[5][0], fraction(-2, 5) / 2);  // exponent 1 halves the level
  EXPECT_EQ(coeffs[5][1], fraction(-4, 5) / 2);
  expect_all_read();
}

TEST_F(Mantissas, GroupsDoNotCarryOverIntoTheNextBlock) {
  bit_writer w;
  w.put(26, 5);    // block 1: one bap-1 bin uses the first of three levels
  w.put(0, 5);     // block 2 starts a new group
  load(w);
  ab.endmant[0] = 1;
  ab.fbw_bap[0][0] = 1;
  unpack(mode(1, 0));
  EXPECT_EQ(coeffs[0][0], fraction(2, 3));
  unpack(mode(1, 0));
  EXPECT_EQ(coeffs[0][0], fraction(-2, 3));
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
    unpack(mode(1, 0));
    EXPECT_TRUE(dec->error_flag);
    EXPECT_EQ(capture.err, kInvalidMantissa);
    // Unpacking goes on to the block's end; no digits are handed out from an invalid group, so
    // every bin reads a code of its own.
    for (int bin = 0; bin < 3; ++bin) EXPECT_EQ(coeffs[0][bin], 0.0f);
    EXPECT_EQ(ac3::bits_position(dec), 3 * c.bits);
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
  EXPECT_EQ(ac3::next_mantissa(dec, 1, false), fraction(2, 3));
  EXPECT_EQ(ac3::next_mantissa(dec, 2, false), fraction(4, 5));
  EXPECT_EQ(ac3::next_mantissa(dec, 4, false), fraction(10, 11));
  EXPECT_EQ(ac3::next_mantissa(dec, 3, false), fraction(6, 7));
  EXPECT_EQ(ac3::next_mantissa(dec, 5, false), fraction(14, 15));
  EXPECT_FALSE(dec->error_flag);
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
  unpack(mode(2, 0));
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
  uint16_t reg = 1;   // where a reset decoder's register starts
  EXPECT_EQ(ac3::dither_value(ac3::dither_step(reg)), 181);   // register 0x0100: 256 × 0.707
  long long sum = 0;
  int peak = 0;
  int steps = 0;
  std::vector<bool> seen(65536, false);
  do {
    reg = ac3::dither_step(reg);
    ASSERT_FALSE(seen[reg]) << "state " << reg << " again after " << steps << " steps";
    seen[reg] = true;
    const int v = ac3::dither_value(reg);
    sum += v;
    peak = std::max(peak, std::abs(v));
    ++steps;
  } while (reg != 1 && steps < 70000);
  EXPECT_EQ(steps, 65535);
  EXPECT_FALSE(seen[0]);
  EXPECT_EQ(peak, 23168);               // 32768 × 181 / 256
  EXPECT_LT(std::llabs(sum), 65535LL * 200);
}

// The decoder reads dither from a table of the register's cycle: entry p is the value of the
// register p + 1 steps after 1, the cycle's first kBins entries repeat behind it, and the decoder's
// position runs on around the cycle.
TEST(Dither, TheSequenceTableIsTheRegistersCycle) {
  uint16_t reg = 1;
  for (int p = 0; p < ac3::kDitherCycle + ac3::kBins; ++p) {
    reg = ac3::dither_step(reg);
    ASSERT_EQ(ac3::dither_values.values[p], ac3::dither_value(reg) * 65536.0f) << "entry " << p;
  }
  decoder_test::test_decoder dec;
  EXPECT_EQ(dec->dither_position, 0);   // a reset decoder: the register at 1
  EXPECT_EQ(ac3::dither_next(dec), 181 * 65536.0f);
  dec->dither_position = ac3::kDitherCycle - 1;
  EXPECT_EQ(ac3::dither_next(dec), ac3::dither_values.values[ac3::kDitherCycle - 1]);
  EXPECT_EQ(dec->dither_position, 0);
  EXPECT_EQ(ac3::dither_advance(ac3::kDitherCycle - 10, 256), 246);
}

// A channel's dither values follow on from where the last one left them, through the end of the
// cycle: the bins without bits of two dithered channels and a coupled one take consecutive values.
TEST_F(Mantissas, DitheredBinsTakeConsecutiveValuesAcrossChannelsAndTheCycleEnd) {
  bit_writer w;
  w.put(0x1234, 16);   // channel 0, bin 3 (bap 15); every other bin has no bits
  load(w);
  const ac3::bsi b = mode(2, 0);
  ab.dithflag[0] = ab.dithflag[1] = 1;
  ab.endmant[0] = 200;
  ab.endmant[1] = 150;
  ab.fbw_bap[0][3] = 15;
  const int start = ac3::kDitherCycle - 120;   // the first channel runs past the cycle's end
  dec->dither_position = static_cast<uint16_t>(start);
  unpack(b);
  int p = start;
  for (int ch = 0; ch < 2; ++ch) {
    for (int bin = 0; bin < ab.endmant[ch]; ++bin) {
      if (ch == 0 && bin == 3) {
        EXPECT_EQ(coeffs[0][3], 0x1234 / 32768.0f);
        continue;
      }
      ASSERT_EQ(coeffs[ch][bin], ac3::dither_values.values[p] / ac3::kMantissaUnit) << ch << " " << bin;
      p = p + 1 == ac3::kDitherCycle ? 0 : p + 1;
    }
  }
  EXPECT_EQ(dec->dither_position, p);
  expect_all_read();
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
  unpack(b);
  EXPECT_FLOAT_EQ(coeffs[0][0], 0.125f);
  EXPECT_FLOAT_EQ(coeffs[1][0], 0.25f);
  EXPECT_FLOAT_EQ(coeffs[2][0], 0.375f);
  EXPECT_FLOAT_EQ(coeffs[5][0], 0.5f);
  EXPECT_EQ(ab.cplmant[37], 0x0100 / 32768.0f * ac3::kMantissaUnit);  // at the mantissa scale
  EXPECT_EQ(ab.cplmant[48], 0x0C00 / 32768.0f * ac3::kMantissaUnit);
  expect_all_read();
}

// A channel of mixed quantizers: its codes, and the baps that read them.
struct mixed_channel {
  std::vector<uint16_t> baps;
  bit_writer codes;
};

mixed_channel make_mixed_channel(int bins, uint32_t seed) {
  const int widths[16] = {0, 5, 7, 3, 7, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 16};
  const uint32_t limits[16] = {1, 27, 125, 7, 121, 15, 32, 64, 128, 256, 512, 1024, 2048, 4096, 16384, 65536};
  mixed_channel c;
  uint32_t x = seed;
  int pending[16] = {};
  for (int bin = 0; bin < bins; ++bin) {
    x = x * 1664525u + 1013904223u;
    const auto bap = static_cast<uint16_t>((x >> 24) % 16);
    c.baps.push_back(bap);
    if (pending[bap] > 0) {
      --pending[bap];
      continue;
    }
    if (bap == 1 || bap == 2) pending[bap] = 2;
    if (bap == 4) pending[bap] = 1;
    c.codes.put((x >> 4) % limits[bap], widths[bap]);
  }
  return c;
}

// Unpacks one channel of these baps from a frame body, starting at bit `at`; returns the values
// and leaves the reader after them.
// The block of its own is unpacked in the decoder's place; the test's block is put back after.
std::vector<float> unpack_at(decoder_test::test_decoder& dec, const std::vector<uint8_t>& body, int at,
                             const std::vector<uint16_t>& baps) {
  decoder_test::load_frame_body(dec, body);
  for (int skipped = 0; skipped < at; skipped += 16) ac3::bits_take(dec, std::min(16, at - skipped));
  static ac3::audblk kept_ab;
  static ac3::coeff_buffer_t kept_coeffs;
  kept_ab = dec->audblk;
  std::memcpy(kept_coeffs, dec->coeffs, sizeof kept_coeffs);
  ac3::audblk& ab = dec->audblk;
  std::memset(&ab, 0, sizeof ab);
  std::memset(dec->coeffs, 0, sizeof dec->coeffs);
  ab.endmant[0] = static_cast<uint16_t>(baps.size());
  std::copy(baps.begin(), baps.end(), ab.fbw_bap[0]);
  dec->bsi = mode(1, 0);
  ac3::unpack_coefficients(dec);
  std::vector<float> values(dec->coeffs[0], dec->coeffs[0] + baps.size());
  dec->audblk = kept_ab;
  std::memcpy(dec->coeffs, kept_coeffs, sizeof kept_coeffs);
  return values;
}

TEST_F(Mantissas, CodesReadTheSameAtTheStartAndAtTheEndOfTheLargestFrame) {
  // The mantissa loop loads eight bytes at a time while a whole channel fits before the buffer's
  // end, and byte by byte after that; both must give the same values and positions.
  const mixed_channel c = make_mixed_channel(253, 7);
  const std::vector<uint8_t> codes = c.codes.bytes();
  const int code_bits = c.codes.size_bits();
  for (int tail_bits : {0, 3, 13}) {
    SCOPED_TRACE(tail_bits);
    std::vector<uint8_t> front(codes);
    front.resize(3840, 0xA5);
    const std::vector<float> expected = unpack_at(dec, front, 0, c.baps);
    EXPECT_EQ(ac3::bits_position(dec), code_bits);

    // The same codes ending tail_bits before the end of a 3840-byte body.
    const int at = 3840 * 8 - tail_bits - code_bits;
    bit_writer w;
    for (int i = 0; i < at; ++i) w.put(1, 1);
    for (uint8_t b : codes) w.put(b, 8);
    std::vector<uint8_t> back = w.bytes();
    back.resize(3840);
    for (int i = 0; i < tail_bits; ++i) back[3839 - i / 8] |= static_cast<uint8_t>(1u << (i % 8));
    EXPECT_EQ(unpack_at(dec, back, at, c.baps), expected);
    EXPECT_EQ(ac3::bits_position(dec), at + code_bits);
    // The reader goes on exactly behind the codes.
    if (tail_bits > 0) {
      EXPECT_EQ(ac3::bits_take(dec, tail_bits), (1u << tail_bits) - 1u);
    }
  }
  EXPECT_FALSE(dec->error_flag);
}

TEST_F(Mantissas, CodesPastTheEndOfTheFrameReadAsZeroAndAreCounted) {
  // A channel that starts 20 bits before the end of the body: its 16-bit codes past the end are
  // zero, and the position counts every bit read. The largest body makes the following channels
  // start so far past the buffer's end that they are read byte by byte.
  for (int bytes : {100, 3840}) {
    SCOPED_TRACE(bytes);
    const int at = bytes * 8 - 20;
    bit_writer w;
    for (int i = 0; i < at; ++i) w.put(0, 1);
    w.put(0x7FFF, 16);   // bin 0, whole
    w.put(0xF, 4);       // the first 4 bits of bin 1
    std::vector<uint8_t> body = w.bytes();
    ASSERT_EQ(body.size(), static_cast<size_t>(bytes));
    const std::vector<uint16_t> baps(40, 15);
    const std::vector<float> values = unpack_at(dec, body, at, baps);
    EXPECT_FLOAT_EQ(values[0], 32767.0f / 32768);
    EXPECT_FLOAT_EQ(values[1], static_cast<int16_t>(0xF000) / 32768.0f);
    for (size_t bin = 2; bin < values.size(); ++bin) EXPECT_EQ(values[bin], 0.0f) << bin;
    EXPECT_EQ(ac3::bits_position(dec), at + 40 * 16);
    // Two more channels of 253 sixteen-bit codes: over a kilobyte past the data.
    ab.endmant[0] = ab.endmant[1] = 253;
    std::fill(ab.fbw_bap[0], ab.fbw_bap[0] + 253, uint16_t{15});
    std::fill(ab.fbw_bap[1], ab.fbw_bap[1] + 253, uint16_t{15});
    ab.fbw_bap[1][100] = 1;
    for (float& v : coeffs[1]) v = 1.0f;
    unpack(mode(2, 0));
    for (int bin = 0; bin < 253; ++bin) ASSERT_EQ(coeffs[1][bin], bin == 100 ? fraction(-2, 3) : 0.0f) << bin;
    EXPECT_EQ(ac3::bits_position(dec), at + 40 * 16 + 253 * 16 + 252 * 16 + 5);
    EXPECT_EQ(ac3::bits_take(dec, 32), 0u);
  }
  EXPECT_FALSE(dec->error_flag);
}

TEST_F(Mantissas, ALongerEarlierFrameLeavesNoBytesBehindTheData) {
  // The loop reads eight bytes at a time past the data; a short frame after a long one must still
  // see zeros there.
  std::vector<uint8_t> long_body(3840, 0xFF);
  decoder_test::load_frame_body(dec, long_body);
  const std::vector<uint8_t> short_body(10, 0x00);
  const std::vector<uint16_t> baps(30, 15);
  const std::vector<float> values = unpack_at(dec, short_body, 0, baps);
  for (float v : values) EXPECT_EQ(v, 0.0f);
}

TEST(BitsSeek, LandsWhereTakingTheBitsWouldHave) {
  decoder_test::test_decoder dec;
  std::vector<uint8_t> body(37);
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(0x3B * (i + 1));
  for (int pos : {0, 1, 31, 32, 33, 64, 100, 288, 295, 296, 297, 320, 333, 500}) {
    SCOPED_TRACE(pos);
    decoder_test::load_frame_body(dec, body);
    for (int taken = 0; taken < pos; taken += 7) ac3::bits_take(dec, std::min(7, pos - taken));
    std::vector<uint32_t> expected;
    for (int i = 0; i < 12; ++i) expected.push_back(ac3::bits_take(dec, 13));
    const int expected_end = ac3::bits_position(dec);

    decoder_test::load_frame_body(dec, body);
    ac3::bits_take(dec, 5);
    ac3::bits_seek(dec, pos);
    EXPECT_EQ(ac3::bits_position(dec), pos);
    for (uint32_t v : expected) EXPECT_EQ(ac3::bits_take(dec, 13), v);
    EXPECT_EQ(ac3::bits_position(dec), expected_end);
  }
}

}  // namespace

// Audio block side information: the rarer branches of the syntax, the reuse rules, and the values
// that would carry later stages outside their arrays.
#include <gtest/gtest.h>

#include "ac3/bitstream.h"
#include "ac3/stages.h"
#include "support/decoder_feed.h"

namespace {

using ac3::bits_position;
using decoder_test::bit_writer;

constexpr uint32_t kMarker = 0x3C5;   // 10 bits written after a block: must be read next

ac3::bsi mode(int acmod, int lfeon) {
  const int nfchans[8] = {2, 1, 2, 3, 3, 4, 4, 5};
  ac3::bsi b{};
  b.acmod = static_cast<uint16_t>(acmod);
  b.lfeon = static_cast<uint16_t>(lfeon);
  b.nfchans = static_cast<uint16_t>(nfchans[acmod]);
  return b;
}

class ReadAudblk : public ::testing::Test {
 protected:
  // Parses what w holds as one block and checks that it ends right before the marker.
  void parse(bit_writer& w, const ac3::bsi& b, bool expect_marker = true) {
    w.put(kMarker, 10);
    decoder_test::load_frame_body(dec, w.bytes());
    dec->bsi = b;
    ac3::read_audblk(dec);
    if (expect_marker) {
      EXPECT_EQ(bits_position(dec), w.size_bits() - 10);
      EXPECT_EQ(ac3::bits_take(dec, 10), kMarker);
    }
  }

  decoder_test::test_decoder dec;
  ac3::audblk& ab = dec->audblk;
};

// The tail of a block that sends no exponents and no allocation data (2/0 with coupling in use).
void put_quiet_tail_cpl(bit_writer& w) {
  w.put(0, 2);             // cplexpstr reuse
  w.put(0, 2); w.put(0, 2);   // chexpstr reuse
  w.put(0, 1);             // baie
  w.put(0, 1);             // snroffste
  w.put(0, 1);             // cplleake
  w.put(0, 1);             // deltbaie
  w.put(0, 1);             // skiple
}

// 2/0 with coupling from cplbegf to cplendf, no coordinates, rematrixing flags as given.
void put_stereo_coupling_block(bit_writer& w, int cplbegf, int cplendf, int rematflags, int nflags) {
  w.put(0, 2);    // blksw
  w.put(3, 2);    // dithflag
  w.put(0, 1);    // dynrnge
  w.put(1, 1);    // cplstre
  w.put(1, 1);    // cplinu
  w.put(3, 2);    // chincpl
  w.put(0, 1);    // phsflginu
  w.put(cplbegf, 4);
  w.put(cplendf, 4);
  w.put(0, cplendf - cplbegf + 2);   // cplbndstrc: every sub-band its own band
  w.put(0, 2);    // cplcoe for both channels
  w.put(1, 1);    // rematstr
  w.put(rematflags, nflags);
  put_quiet_tail_cpl(w);
}

TEST_F(ReadAudblk, RematrixingFlagCountFollowsTheCouplingBegin) {
  const struct { int cplbegf, flags; } cases[] = {{0, 2}, {1, 3}, {2, 3}, {3, 4}, {7, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cplbegf);
    ab = {};
    bit_writer w;
    const int pattern = c.flags == 2 ? 0b10 : c.flags == 3 ? 0b101 : 0b1011;
    put_stereo_coupling_block(w, c.cplbegf, 8, pattern, c.flags);
    parse(w, mode(2, 0));
    EXPECT_EQ(ab.cplstrtmant, 12 * c.cplbegf + 37);
    EXPECT_EQ(ab.cplendmant, 12 * 8 + 73);
    EXPECT_EQ(ab.ncplsubnd, 8 - c.cplbegf + 3);
    EXPECT_EQ(ab.rematflg[0], 1);
    EXPECT_EQ(ab.rematflg[1], 0);
    EXPECT_EQ(ab.rematflg[2], c.flags == 2 ? 0 : 1);
    EXPECT_EQ(ab.rematflg[3], c.flags == 4 ? 1 : 0);
  }
}

TEST_F(ReadAudblk, RematrixingWithoutCouplingReadsFourFlags) {
  bit_writer w;
  w.put(0, 2); w.put(0, 2); w.put(0, 1);   // blksw, dithflag, dynrnge
  w.put(1, 1); w.put(0, 1);                // cplstre, cplinu 0
  w.put(1, 1); w.put(0b0110, 4);           // rematstr, rematflg
  w.put(0, 2); w.put(0, 2);                // chexpstr reuse
  w.put(0, 4);                             // baie, snroffste, deltbaie, skiple
  parse(w, mode(2, 0));
  EXPECT_EQ(ab.rematflg[0], 0);
  EXPECT_EQ(ab.rematflg[1], 1);
  EXPECT_EQ(ab.rematflg[2], 1);
  EXPECT_EQ(ab.rematflg[3], 0);
}

TEST_F(ReadAudblk, CouplingBandsMergeAndCoordinatesAndPhaseFlagsFollowThem) {
  bit_writer w;
  w.put(0, 2); w.put(0, 2); w.put(0, 1);
  w.put(1, 1); w.put(1, 1); w.put(3, 2);   // cplstre, cplinu, chincpl
  w.put(1, 1);                             // phsflginu
  w.put(2, 4); w.put(5, 4);                // cplbegf 2, cplendf 5: 6 sub-bands
  w.put(0b01011, 5);                       // sub-bands 2, 4 and 5 join their predecessors
  // three coupling bands: coordinates for channel 0, none for channel 1
  w.put(1, 1); w.put(2, 2);                // cplcoe, mstrcplco
  w.put(15, 4); w.put(3, 4); w.put(1, 4); w.put(9, 4); w.put(0, 4); w.put(15, 4);
  w.put(0, 1);                             // cplcoe of channel 1
  w.put(0b101, 3);                         // phsflg for three bands
  w.put(0, 1);                             // rematstr
  put_quiet_tail_cpl(w);
  ab.cplcomant[1][0] = 7;                  // channel 1 keeps its earlier coordinates
  parse(w, mode(2, 0));
  EXPECT_EQ(ab.ncplsubnd, 6);
  EXPECT_EQ(ab.ncplbnd, 3);
  EXPECT_EQ(ab.cplbndstrc[0], 0);
  EXPECT_EQ(ab.cplbndstrc[2], 1);
  EXPECT_EQ(ab.cplbndstrc[3], 0);
  EXPECT_EQ(ab.mstrcplco[0], 2);
  EXPECT_EQ(ab.cplcoexp[0][0], 15);
  EXPECT_EQ(ab.cplcomant[0][0], 3);
  EXPECT_EQ(ab.cplcoexp[0][2], 0);
  EXPECT_EQ(ab.cplcomant[0][2], 15);
  EXPECT_EQ(ab.cplcomant[1][0], 7);
  EXPECT_EQ(ab.phsflg[0], 1);
  EXPECT_EQ(ab.phsflg[1], 0);
  EXPECT_EQ(ab.phsflg[2], 1);
}

TEST_F(ReadAudblk, DualMonoSendsSecondDynamicRangeWord) {
  bit_writer w;
  w.put(0, 2); w.put(0, 2);
  w.put(1, 1); w.put(0x12, 8);             // dynrnge, dynrng
  w.put(1, 1); w.put(0xF0, 8);             // dynrng2e, dynrng2
  w.put(0, 1);                             // cplstre
  w.put(0, 2); w.put(0, 2);                // chexpstr
  w.put(0, 4);
  parse(w, mode(0, 0));
  EXPECT_EQ(ab.dynrng, 0x12);
  EXPECT_EQ(ab.dynrng2, 0xF0);
}

// 1/0 block with new D25 exponents at chbwcod, the allocation parameters and skip data as given.
void put_mono_block(bit_writer& w, int chexpstr, int chbwcod, int groups, int skipl) {
  w.put(1, 1); w.put(0, 1); w.put(0, 1);   // blksw, dithflag, dynrnge
  w.put(0, 1);                             // cplstre
  w.put(chexpstr, 2);
  if (chexpstr != 0) {
    w.put(chbwcod, 6);
    w.put(10, 4);                          // absolute exponent
    for (int g = 0; g < groups; ++g) w.put(62, 7);   // deltas 0, 0, 0
    w.put(1, 2);                           // gainrng
  }
  w.put(0, 1); w.put(0, 1); w.put(0, 1);   // baie, snroffste, deltbaie
  if (skipl < 0) {
    w.put(0, 1);
  } else {
    w.put(1, 1); w.put(skipl, 9);
    for (int i = 0; i < skipl; ++i) w.put(0xA5, 8);
  }
}

TEST_F(ReadAudblk, ReusedExponentStrategyKeepsTheChannelsBandwidth) {
  bit_writer first;
  put_mono_block(first, 2, 20, (133 + 6 - 4) / 6, -1);   // endmant 133, D25: 22 groups
  parse(first, mode(1, 0));
  EXPECT_EQ(ab.endmant[0], 133);
  EXPECT_EQ(ab.nchgrps[0], 22);
  EXPECT_EQ(ab.exps[0][22], 62);

  bit_writer second;
  put_mono_block(second, 0, 0, 0, -1);
  parse(second, mode(1, 0));
  EXPECT_EQ(ab.chexpstr[0], 0);
  EXPECT_EQ(ab.chbwcod[0], 20);
  EXPECT_EQ(ab.endmant[0], 133);
  EXPECT_EQ(ab.nchgrps[0], 22);
  EXPECT_EQ(ab.blksw[0], 1);
}

TEST_F(ReadAudblk, SkipLengthZeroReadsNoSkipBytes) {
  for (int skipl : {0, 3, 511}) {
    SCOPED_TRACE(skipl);
    bit_writer w;
    put_mono_block(w, 0, 0, 0, skipl);
    parse(w, mode(1, 0));
    EXPECT_EQ(ab.skiple, 1);
    EXPECT_EQ(ab.skipl, skipl);
  }
}

TEST_F(ReadAudblk, WidestBandwidthReadsEightyFourGroupsInD15) {
  bit_writer w;
  put_mono_block(w, 1, 60, 84, -1);
  parse(w, mode(1, 0));
  ASSERT_FALSE(dec->error_flag);
  EXPECT_EQ(ab.endmant[0], 253);
  EXPECT_EQ(ab.nchgrps[0], 84);
  EXPECT_EQ(ab.exps[0][84], 62);
  EXPECT_EQ(ab.gainrng[0], 1);
}

TEST_F(ReadAudblk, BandwidthCodeAbove60MakesTheFrameBadAndKeepsTheLimits) {
  bit_writer good;
  put_mono_block(good, 3, 12, (109 + 12 - 4) / 12, -1);
  parse(good, mode(1, 0));
  bit_writer bad;
  put_mono_block(bad, 1, 61, 0, -1);
  parse(bad, mode(1, 0), false);
  EXPECT_TRUE(dec->error_flag);
  EXPECT_EQ(ab.endmant[0], 109);
  EXPECT_EQ(ab.nchgrps[0], 9);
  // Nothing is expanded for a block already found bad, and no message is printed for it.
  decoder_test::diagnostics_capture capture;
  ab.fbw_exp[0][5] = 77;
  dec->bsi = mode(1, 0);
  ac3::expand_exponents(dec);
  EXPECT_EQ(ab.fbw_exp[0][5], 77);
  EXPECT_TRUE(capture.err.empty());
}

TEST_F(ReadAudblk, CouplingBeginPastEndPlusTwoMakesTheFrameBad) {
  bit_writer good;
  put_stereo_coupling_block(good, 1, 4, 0, 3);
  parse(good, mode(2, 0));
  ASSERT_FALSE(dec->error_flag);

  bit_writer bad;
  bad.put(0, 2); bad.put(0, 2); bad.put(0, 1);
  bad.put(1, 1); bad.put(1, 1); bad.put(3, 2); bad.put(0, 1);
  bad.put(9, 4); bad.put(6, 4);            // cplbegf 9 > cplendf 6 + 2
  const int stop = bad.size_bits();
  bad.put(0xFFFF, 16);
  parse(bad, mode(2, 0), false);
  EXPECT_TRUE(dec->error_flag);
  EXPECT_EQ(bits_position(dec), stop);
  EXPECT_EQ(ab.cplstrtmant, 49);
  EXPECT_EQ(ab.cplendmant, 121);
  EXPECT_EQ(ab.ncplsubnd, 6);
  EXPECT_EQ(ab.ncplbnd, 6);
}

TEST_F(ReadAudblk, CouplingBeginEqualToEndPlusTwoIsOneSubband) {
  bit_writer w;
  put_stereo_coupling_block(w, 5, 3, 0, 4);   // no cplbndstrc bits: ncplsubnd is 1
  parse(w, mode(2, 0));
  EXPECT_FALSE(dec->error_flag);
  EXPECT_EQ(ab.ncplsubnd, 1);
  EXPECT_EQ(ab.cplendmant - ab.cplstrtmant, 12);
}

TEST_F(ReadAudblk, DeltaBitAllocationForCouplingAndOneChannel) {
  bit_writer w;
  w.put(0, 2); w.put(0, 2); w.put(0, 1);
  w.put(1, 1); w.put(1, 1); w.put(3, 2); w.put(0, 1);
  w.put(3, 4); w.put(3, 4); w.put(0, 2);   // cplbegf, cplendf, cplbndstrc, no coordinates
  w.put(0, 2);                             // cplcoe
  w.put(0, 1);                             // rematstr
  w.put(0, 2); w.put(0, 2); w.put(0, 2);   // cplexpstr, chexpstr
  w.put(1, 1);                             // baie
  w.put(1, 2); w.put(2, 2); w.put(3, 2); w.put(1, 2); w.put(5, 3);
  w.put(1, 1);                             // snroffste
  w.put(33, 6); w.put(4, 4); w.put(6, 3);  // csnroffst, cplfsnroffst, cplfgaincod
  w.put(7, 4); w.put(2, 3); w.put(8, 4); w.put(3, 3);
  w.put(1, 1); w.put(5, 3); w.put(6, 3);   // cplleake, cplfleak, cplsleak
  w.put(1, 1);                             // deltbaie
  w.put(1, 2);                             // cpldeltbae: new
  w.put(2, 2); w.put(1, 2);                // deltbae: none, new
  w.put(1, 3);                             // cpldeltnseg: two segments
  w.put(31, 5); w.put(2, 4); w.put(6, 3);
  w.put(1, 5); w.put(15, 4); w.put(0, 3);
  w.put(7, 3);                             // deltnseg of channel 1: eight segments
  for (int seg = 0; seg < 8; ++seg) { w.put(seg, 5); w.put(1, 4); w.put(seg, 3); }
  w.put(0, 1);                             // skiple
  parse(w, mode(2, 0));
  EXPECT_EQ(ab.sdcycod, 1);
  EXPECT_EQ(ab.floorcod, 5);
  EXPECT_EQ(ab.csnroffst, 33);
  EXPECT_EQ(ab.cplfgaincod, 6);
  EXPECT_EQ(ab.fsnroffst[1], 8);
  EXPECT_EQ(ab.fgaincod[1], 3);
  EXPECT_EQ(ab.cplsleak, 6);
  EXPECT_EQ(ab.cpldeltnseg, 1);
  EXPECT_EQ(ab.cpldeltoffst[0], 31);
  EXPECT_EQ(ab.cpldeltlen[1], 15);
  EXPECT_EQ(ab.deltbae[0], 2);
  EXPECT_EQ(ab.deltnseg[1], 7);
  EXPECT_EQ(ab.deltoffst[1][7], 7);
  EXPECT_EQ(ab.deltba[1][6], 6);
}

}  // namespace

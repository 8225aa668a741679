// Bit allocation: when baps are kept, when they are all zero, the LFE and coupling channel rules,
// and delta bit allocation. (Every bap of every fixture frame is checked by the all-bits test.)
#include <gtest/gtest.h>

#include <cstring>

#include "ac3/stages.h"
#include "support/ac3_bit_allocation.h"
#include "support/decoder_feed.h"

namespace {

constexpr uint16_t kFscod48k = 0;

ac3::bsi mode(int acmod, int lfeon) {
  const int nfchans[8] = {2, 1, 2, 3, 3, 4, 4, 5};
  ac3::bsi b{};
  b.acmod = static_cast<uint16_t>(acmod);
  b.lfeon = static_cast<uint16_t>(lfeon);
  b.nfchans = static_cast<uint16_t>(nfchans[acmod]);
  return b;
}

// A spectrum that falls with frequency and has a few peaks.
uint16_t exponent_at(int bin) {
  int e = 3 + bin / 14;
  if (bin % 29 == 5) e -= 3;
  return static_cast<uint16_t>(e < 0 ? 0 : (e > 24 ? 24 : e));
}

// A block that sends new exponents and every allocation parameter, with no delta allocation.
void set_new_block(ac3::audblk& ab, int channels, int endmant) {
  for (int ch = 0; ch < channels; ++ch) {
    ab.chexpstr[ch] = 1;
    ab.endmant[ch] = static_cast<uint16_t>(endmant);
    for (int bin = 0; bin < endmant; ++bin) ab.fbw_exp[ch][bin] = exponent_at(bin + 3 * ch);
    ab.fsnroffst[ch] = 4;
    ab.fgaincod[ch] = 4;
    ab.deltbae[ch] = 2;
  }
  ab.baie = 1;
  ab.sdcycod = 2;
  ab.fdcycod = 1;
  ab.sgaincod = 1;
  ab.dbpbcod = 2;
  ab.floorcod = 7;
  ab.snroffste = 1;
  ab.csnroffst = 20;
  ab.deltbaie = 1;
}

void set_reuse_block(ac3::audblk& ab) {
  for (uint16_t& s : ab.chexpstr) s = 0;
  ab.cplexpstr = 0;
  ab.lfeexpstr = 0;
  ab.baie = 0;
  ab.snroffste = 0;
  ab.deltbaie = 0;
}

void fill_baps(ac3::audblk& ab, uint16_t seed) {
  for (int ch = 0; ch < 5; ++ch) {
    for (int bin = 0; bin < 256; ++bin) ab.fbw_bap[ch][bin] = static_cast<uint16_t>((seed + ch + bin) % 16);
  }
  for (int bin = 0; bin < 256; ++bin) ab.cpl_bap[bin] = static_cast<uint16_t>((seed + 7 * bin) % 16);
  for (int bin = 0; bin < 7; ++bin) ab.lfe_bap[bin] = static_cast<uint16_t>((seed + bin) % 16);
}

bool same_baps(const ac3::audblk& a, const ac3::audblk& b) {
  return std::memcmp(a.fbw_bap, b.fbw_bap, sizeof a.fbw_bap) == 0 &&
         std::memcmp(a.cpl_bap, b.cpl_bap, sizeof a.cpl_bap) == 0 &&
         std::memcmp(a.lfe_bap, b.lfe_bap, sizeof a.lfe_bap) == 0;
}

int bap_sum(const uint16_t* baps, int from, int to) {
  int sum = 0;
  for (int bin = from; bin < to; ++bin) sum += baps[bin];
  return sum;
}

class BitAllocation : public ::testing::Test {
 protected:
  // Runs the decoder's allocation on a block the test keeps: the decoder's reuse cache carries
  // from call to call as it does from block to block.
  void allocate(uint16_t fscod, const ac3::bsi& b, ac3::audblk& ab) {
    dec->syncinfo.fscod = fscod;
    dec->bsi = b;
    dec->audblk = ab;
    ac3::allocate_bits(dec);
    ab = dec->audblk;
  }

  decoder_test::test_decoder dec;
};

TEST_F(BitAllocation, BlockWithNothingNewKeepsEveryBapBitForBit) {
  const ac3::bsi b = mode(2, 0);
  static ac3::audblk ab{};
  set_new_block(ab, 2, 181);
  allocate(kFscod48k, b, ab);
  static ac3::audblk computed;
  computed = ab;
  ASSERT_GT(bap_sum(ab.fbw_bap[0], 0, 181), 0);

  set_reuse_block(ab);
  fill_baps(ab, 5);
  static ac3::audblk kept;
  kept = ab;
  allocate(kFscod48k, b, ab);
  EXPECT_TRUE(same_baps(ab, kept));

  // A new coupling leak alone does not count as new allocation data.
  ab.cplleake = 1;
  ab.cplfleak = 5;
  allocate(kFscod48k, b, ab);
  EXPECT_TRUE(same_baps(ab, kept));

  // Any one of the flags brings the computation back, with the same result as before.
  for (uint16_t ac3::audblk::*flag : {&ac3::audblk::baie, &ac3::audblk::snroffste, &ac3::audblk::deltbaie,
                                      &ac3::audblk::lfeexpstr, &ac3::audblk::cplexpstr}) {
    set_reuse_block(ab);
    fill_baps(ab, 9);
    ab.*flag = 1;
    allocate(kFscod48k, b, ab);
    EXPECT_EQ(std::memcmp(ab.fbw_bap[0], computed.fbw_bap[0], 181 * sizeof(uint16_t)), 0);
    EXPECT_EQ(std::memcmp(ab.fbw_bap[1], computed.fbw_bap[1], 181 * sizeof(uint16_t)), 0);
  }
  set_reuse_block(ab);
  fill_baps(ab, 9);
  ab.chexpstr[4] = 2;   // a channel the mode does not have still counts
  allocate(kFscod48k, b, ab);
  EXPECT_EQ(std::memcmp(ab.fbw_bap[0], computed.fbw_bap[0], 181 * sizeof(uint16_t)), 0);
}

TEST_F(BitAllocation, AllSnrOffsetsZeroGivesAllZeroBaps) {
  const ac3::bsi b = mode(1, 1);
  static ac3::audblk ab{};
  set_new_block(ab, 1, 253);
  for (uint16_t& s : ab.fsnroffst) s = 0;
  ab.csnroffst = 0;
  ab.cplfsnroffst = 0;
  ab.lfefsnroffst = 0;
  fill_baps(ab, 3);
  allocate(kFscod48k, b, ab);
  static ac3::audblk zero{};
  EXPECT_TRUE(same_baps(ab, zero));

  // A fine offset left from a channel not in this mode still counts as an offset: then only the
  // channels in use are computed and the others keep their baps.
  fill_baps(ab, 3);
  ab.fsnroffst[3] = 1;
  allocate(kFscod48k, b, ab);
  EXPECT_EQ(bap_sum(ab.fbw_bap[3], 0, 256), 1920);   // the pattern fill_baps left there
}

TEST_F(BitAllocation, LfeChannelIgnoresTheBandAboveItsLast) {
  // The LFE channel's last band is 6. Without its rule, the compensation at band 6 would look at
  // band 7, which holds whatever the channel allocated before it left there.
  const ac3::bsi b = mode(1, 1);
  uint16_t lfe_baps[2][7];
  for (int variant = 0; variant < 2; ++variant) {
    static ac3::audblk ab;
    ab = {};
    set_new_block(ab, 1, 73);
    ab.lfeexpstr = 1;
    ab.lfefsnroffst = 4;
    ab.lfefgaincod = 0;
    const uint16_t lfe_exps[7] = {2, 3, 4, 5, 6, 7, 8};
    std::memcpy(ab.lfe_exp, lfe_exps, sizeof lfe_exps);
    // Bin 7 of the full-bandwidth channel: 256 PSD units above the LFE's band 6, or far below.
    ab.fbw_exp[0][7] = variant == 0 ? 6 : 22;
    allocate(kFscod48k, b, ab);
    std::memcpy(lfe_baps[variant], ab.lfe_bap, sizeof ab.lfe_bap);
  }
  EXPECT_EQ(std::memcmp(lfe_baps[0], lfe_baps[1], sizeof lfe_baps[0]), 0);
  EXPECT_GT(bap_sum(lfe_baps[0], 0, 7), 0);
}

TEST_F(BitAllocation, CouplingChannelStartsWithItsOwnLeaks) {
  const ac3::bsi b = mode(2, 0);
  // Variants: both leak codes 0, fast leak code 7, slow leak code 7.
  uint16_t cpl_baps[3][256];
  for (int variant = 0; variant < 3; ++variant) {
    static ac3::audblk ab;
    ab = {};
    set_new_block(ab, 2, 37);
    ab.cplinu = 1;
    ab.chincpl[0] = ab.chincpl[1] = 1;
    ab.cplexpstr = 1;
    ab.cplstrtmant = 37;
    ab.cplendmant = 169;
    for (int bin = 37; bin < 169; ++bin) ab.cpl_exp[bin] = 8;
    ab.cplfsnroffst = 4;
    ab.cplfgaincod = 4;
    ab.cpldeltbae = 2;
    ab.cplfleak = static_cast<uint16_t>(variant == 1 ? 7 : 0);
    ab.cplsleak = static_cast<uint16_t>(variant == 2 ? 7 : 0);
    allocate(kFscod48k, b, ab);
    std::memcpy(cpl_baps[variant], ab.cpl_bap, sizeof ab.cpl_bap);
  }
  // A larger starting leak masks more, so no bin gets more bits and the first bins get fewer.
  for (int variant = 1; variant < 3; ++variant) {
    for (int bin = 37; bin < 169; ++bin) EXPECT_LE(cpl_baps[variant][bin], cpl_baps[0][bin]) << bin;
    EXPECT_LT(cpl_baps[variant][37], cpl_baps[0][37]) << variant;
  }
  EXPECT_GT(cpl_baps[0][37], 0);
  // Bins outside the coupling range are not touched.
  EXPECT_EQ(cpl_baps[0][36], 0);
  EXPECT_EQ(cpl_baps[0][169], 0);
}

TEST_F(BitAllocation, DeltaSegmentsShiftTheMaskOfTheirBandsOnly) {
  const ac3::bsi b = mode(1, 0);
  static ac3::audblk base;
  base = {};
  set_new_block(base, 1, 253);
  allocate(kFscod48k, b, base);

  static ac3::audblk ab;
  ab = base;
  ab.deltbae[0] = 1;
  ab.deltnseg[0] = 1;
  ab.deltoffst[0][0] = 30;   // bands 30..32: bins 34..42, 3 dB steps down by 4: +512
  ab.deltlen[0][0] = 3;
  ab.deltba[0][0] = 7;
  ab.deltoffst[0][1] = 10;   // band 43 (bins 109..120): -512
  ab.deltlen[0][1] = 1;
  ab.deltba[0][1] = 0;
  allocate(kFscod48k, b, ab);
  for (int bin = 0; bin < 253; ++bin) {
    if (bin >= 34 && bin < 43) {
      EXPECT_LE(ab.fbw_bap[0][bin], base.fbw_bap[0][bin]) << bin;
    } else if (bin >= 109 && bin < 121) {
      EXPECT_GE(ab.fbw_bap[0][bin], base.fbw_bap[0][bin]) << bin;
    } else {
      EXPECT_EQ(ab.fbw_bap[0][bin], base.fbw_bap[0][bin]) << bin;
    }
  }
  EXPECT_LT(bap_sum(ab.fbw_bap[0], 34, 43), bap_sum(base.fbw_bap[0], 34, 43));
  EXPECT_GT(bap_sum(ab.fbw_bap[0], 109, 121), bap_sum(base.fbw_bap[0], 109, 121));
  static ac3::audblk with_delta;
  with_delta = ab;

  // Mode 0 applies the segments kept from before; mode 2 applies none.
  ab.deltbae[0] = 0;
  fill_baps(ab, 1);
  allocate(kFscod48k, b, ab);
  EXPECT_EQ(std::memcmp(ab.fbw_bap[0], with_delta.fbw_bap[0], 253 * sizeof(uint16_t)), 0);
  ab.deltbae[0] = 2;
  allocate(kFscod48k, b, ab);
  EXPECT_EQ(std::memcmp(ab.fbw_bap[0], base.fbw_bap[0], 253 * sizeof(uint16_t)), 0);
  EXPECT_FALSE(dec->error_flag);
}

TEST_F(BitAllocation, DeltaSegmentsPastTheLastBandMakeTheFrameBad) {
  const ac3::bsi b = mode(1, 0);
  static ac3::audblk ab;
  ab = {};
  set_new_block(ab, 1, 253);
  ab.deltbae[0] = 1;
  ab.deltnseg[0] = 1;
  ab.deltoffst[0][0] = 31;
  ab.deltlen[0][0] = 15;   // bands 31..45
  ab.deltba[0][0] = 5;
  ab.deltoffst[0][1] = 3;
  ab.deltlen[0][1] = 15;   // bands 49..63: past band 49
  ab.deltba[0][1] = 5;
  allocate(kFscod48k, b, ab);
  EXPECT_TRUE(dec->error_flag);
}

// Every range a channel can have, against the test's own allocation: full-bandwidth channels
// ending at every bin (cutting each band anywhere), and coupling channels from every start to every
// end (whose first band may be cut too), with exponents that vary bin by bin.
TEST_F(BitAllocation, EveryChannelRangeMatchesTheTestsOwnAllocation) {
  uint32_t x = 2718;
  auto next = [&x]() { return x = x * 1664525u + 1013904223u, x >> 16; };
  int compared = 0;
  // Random exponents at every end; then, at the widest end, the extremes of the band sums: all
  // exponents 0 (the loudest PSD everywhere), and 0 and 24 side by side.
  for (int end = 1; end <= 253 + 2; ++end) {
    static ac3::audblk ab;
    ab = {};
    const int pattern = end > 253 ? end - 253 : 0;
    const int bins = pattern ? 253 : end;
    set_new_block(ab, 1, bins);
    for (int bin = 0; bin < bins; ++bin) {
      ab.fbw_exp[0][bin] = static_cast<uint16_t>(pattern == 1 ? 0 : pattern == 2 ? (bin % 2) * 24 : next() % 25);
    }
    ab.csnroffst = static_cast<uint16_t>(10 + next() % 30);
    allocate(kFscod48k, mode(1, 0), ab);
    ac3test::allocation_input in;
    in.sdcycod = ab.sdcycod, in.fdcycod = ab.fdcycod, in.sgaincod = ab.sgaincod, in.dbpbcod = ab.dbpbcod;
    in.floorcod = ab.floorcod, in.fgaincod = ab.fgaincod[0];
    in.start = 0, in.end = bins, in.exps = ab.fbw_exp[0];
    in.snroffset = 64 * ab.csnroffst + 4 * ab.fsnroffst[0] - 960;
    uint16_t want[256] = {};
    ac3test::compute_baps(in, want);
    ASSERT_EQ(0, std::memcmp(want, ab.fbw_bap[0], sizeof(uint16_t) * static_cast<size_t>(bins)))
        << "end " << bins << " pattern " << pattern;
    ++compared;
  }
  for (int begf = 0; begf < 16; ++begf) {
    for (int endf = begf; endf < 16; ++endf) {
      const int start = 37 + 12 * begf, end = 37 + 12 * (endf + 3) > 253 ? 253 : 37 + 12 * (endf + 3);
      if (start >= end) continue;
      static ac3::audblk ab;
      ab = {};
      set_new_block(ab, 2, start);
      ab.cplinu = 1;
      ab.chincpl[0] = ab.chincpl[1] = 1;
      ab.cplexpstr = 1;
      ab.cplstrtmant = static_cast<uint16_t>(start);
      ab.cplendmant = static_cast<uint16_t>(end);
      for (int bin = start; bin < end; ++bin) ab.cpl_exp[bin] = static_cast<uint16_t>(next() % 25);
      ab.cplfsnroffst = 6;
      ab.cplfgaincod = 2;
      ab.cpldeltbae = 2;
      ab.cplfleak = static_cast<uint16_t>(next() % 8);
      ab.cplsleak = static_cast<uint16_t>(next() % 8);
      allocate(kFscod48k, mode(2, 0), ab);
      ac3test::allocation_input in;
      in.sdcycod = ab.sdcycod, in.fdcycod = ab.fdcycod, in.sgaincod = ab.sgaincod, in.dbpbcod = ab.dbpbcod;
      in.floorcod = ab.floorcod, in.fgaincod = ab.cplfgaincod;
      in.start = start, in.end = end, in.exps = ab.cpl_exp;
      in.fastleak = 256 * ab.cplfleak + 768, in.slowleak = 256 * ab.cplsleak + 768;
      in.snroffset = 64 * ab.csnroffst + 4 * ab.cplfsnroffst - 960;
      uint16_t want[256] = {};
      ac3test::compute_baps(in, want);
      ASSERT_EQ(0, std::memcmp(want + start, ab.cpl_bap + start, sizeof(uint16_t) * static_cast<size_t>(end - start)))
          << "coupling " << start << ".." << end;
      ++compared;
    }
  }
  EXPECT_GT(compared, 255 + 100);
}

}  // namespace

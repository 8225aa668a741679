// Frames of every kind the writer makes are read back by the decoder's parser stage by stage: the
// bsi and every block's side information come back as written, each block's side information and
// mantissas end exactly where the writer stopped writing them, the exponents and baps agree with
// the writer's own bit allocation, the unpacked coefficients are the values written, and 2/0
// blocks rematrix the bands their flags select.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ac3/bitstream.h"
#include "ac3/decoder_state.h"
#include "ac3/stages.h"
#include "support/ac3_frame_kinds.h"
#include "support/decoder_feed.h"

namespace {

using frame_kinds::kind;

#define EXPECT_FIELD(f) do { EXPECT_EQ(got.f, want.f) << #f; } while (0)

void expect_bsi(const ac3::bsi& want, const ac3::bsi& got) {
  EXPECT_FIELD(bsid);
  EXPECT_FIELD(bsmod);
  EXPECT_FIELD(acmod);
  EXPECT_FIELD(nfchans);
  if ((want.acmod & 1) && want.acmod != 1) EXPECT_FIELD(cmixlev);
  if (want.acmod & 4) EXPECT_FIELD(surmixlev);
  if (want.acmod == 2) EXPECT_FIELD(dsurmod);
  EXPECT_FIELD(lfeon);
  EXPECT_FIELD(dialnorm);
  EXPECT_FIELD(compre);
  if (want.compre) EXPECT_FIELD(compr);
  EXPECT_FIELD(langcode);
  if (want.langcode) EXPECT_FIELD(langcod);
  EXPECT_FIELD(audprodie);
  if (want.audprodie) {
    EXPECT_FIELD(mixlevel);
    EXPECT_FIELD(roomtyp);
  }
  if (want.acmod == 0) {
    EXPECT_FIELD(dialnorm2);
    EXPECT_FIELD(compr2e);
    if (want.compr2e) EXPECT_FIELD(compr2);
    EXPECT_FIELD(langcod2e);
    if (want.langcod2e) EXPECT_FIELD(langcod2);
    EXPECT_FIELD(audprodi2e);
    if (want.audprodi2e) {
      EXPECT_FIELD(mixlevel2);
      EXPECT_FIELD(roomtyp2);
    }
  }
  EXPECT_FIELD(copyrightb);
  EXPECT_FIELD(origbs);
  EXPECT_FIELD(timecod1e);
  if (want.timecod1e) EXPECT_FIELD(timecod1);
  EXPECT_FIELD(timecod2e);
  if (want.timecod2e) EXPECT_FIELD(timecod2);
  EXPECT_FIELD(addbsie);
  if (want.addbsie) {
    EXPECT_FIELD(addbsil);
    EXPECT_EQ(0, std::memcmp(got.addbsi, want.addbsi, want.addbsil + 1u)) << "addbsi";
  }
}

void expect_delta(int nseg, const uint16_t* wo, const uint16_t* wl, const uint16_t* wb, const uint16_t* go,
                  const uint16_t* gl, const uint16_t* gb, const char* what) {
  for (int s = 0; s <= nseg; ++s) {
    EXPECT_EQ(go[s], wo[s]) << what << " offset, segment " << s;
    EXPECT_EQ(gl[s], wl[s]) << what << " length, segment " << s;
    EXPECT_EQ(gb[s], wb[s]) << what << " ba, segment " << s;
  }
}

// Every field in force for this block: sent in it or kept from an earlier block of the sequence.
void expect_block(const ac3::bsi& b, const ac3::audblk& want, const ac3::audblk& got) {
  const int nf = b.nfchans;
  for (int ch = 0; ch < nf; ++ch) {
    SCOPED_TRACE("channel " + std::to_string(ch));
    EXPECT_FIELD(blksw[ch]);
    EXPECT_FIELD(dithflag[ch]);
    EXPECT_FIELD(chexpstr[ch]);
    EXPECT_FIELD(endmant[ch]);
    EXPECT_FIELD(nchgrps[ch]);
    EXPECT_FIELD(fsnroffst[ch]);
    EXPECT_FIELD(fgaincod[ch]);
    EXPECT_FIELD(deltbae[ch]);
    if (!(want.cplinu && want.chincpl[ch])) EXPECT_FIELD(chbwcod[ch]);
    if (want.chexpstr[ch]) {
      EXPECT_FIELD(gainrng[ch]);
      for (int g = 0; g <= want.nchgrps[ch]; ++g) EXPECT_EQ(got.exps[ch][g], want.exps[ch][g]) << "exps group " << g;
    }
    if (want.deltbae[ch] <= 1) {
      EXPECT_FIELD(deltnseg[ch]);
      expect_delta(want.deltnseg[ch], want.deltoffst[ch], want.deltlen[ch], want.deltba[ch], got.deltoffst[ch],
                   got.deltlen[ch], got.deltba[ch], "delta");
    }
    for (int bin = 0; bin < want.endmant[ch]; ++bin) {
      ASSERT_EQ(got.fbw_exp[ch][bin], want.fbw_exp[ch][bin]) << "exponent of bin " << bin;
      ASSERT_EQ(got.fbw_bap[ch][bin], want.fbw_bap[ch][bin]) << "bap of bin " << bin;
    }
  }
  EXPECT_FIELD(dynrnge);
  if (want.dynrnge) EXPECT_FIELD(dynrng);
  if (b.acmod == 0) {
    EXPECT_FIELD(dynrng2e);
    if (want.dynrng2e) EXPECT_FIELD(dynrng2);
  }
  EXPECT_FIELD(cplstre);
  EXPECT_FIELD(cplinu);
  if (want.cplinu) {
    SCOPED_TRACE("coupling");
    for (int ch = 0; ch < nf; ++ch) EXPECT_FIELD(chincpl[ch]);
    if (b.acmod == 2) EXPECT_FIELD(phsflginu);
    EXPECT_FIELD(cplbegf);
    EXPECT_FIELD(cplendf);
    EXPECT_FIELD(cplstrtmant);
    EXPECT_FIELD(cplendmant);
    EXPECT_FIELD(ncplsubnd);
    EXPECT_FIELD(ncplbnd);
    for (int s = 1; s < want.ncplsubnd; ++s) EXPECT_FIELD(cplbndstrc[s]);
    for (int ch = 0; ch < nf; ++ch) {
      if (!want.chincpl[ch]) continue;
      EXPECT_FIELD(cplcoe[ch]);
      EXPECT_FIELD(mstrcplco[ch]);
      for (int bnd = 0; bnd < want.ncplbnd; ++bnd) {
        EXPECT_FIELD(cplcoexp[ch][bnd]);
        EXPECT_FIELD(cplcomant[ch][bnd]);
      }
    }
    if (b.acmod == 2 && want.phsflginu) {
      for (int bnd = 0; bnd < want.ncplbnd; ++bnd) EXPECT_FIELD(phsflg[bnd]);
    }
    EXPECT_FIELD(cplexpstr);
    EXPECT_FIELD(ncplgrps);
    if (want.cplexpstr) {
      EXPECT_FIELD(cplabsexp);
      for (int g = 0; g < want.ncplgrps; ++g) EXPECT_FIELD(cplexps[g]);
    }
    EXPECT_FIELD(cplfsnroffst);
    EXPECT_FIELD(cplfgaincod);
    EXPECT_FIELD(cplleake);
    EXPECT_FIELD(cplfleak);
    EXPECT_FIELD(cplsleak);
    EXPECT_FIELD(cpldeltbae);
    if (want.cpldeltbae <= 1) {
      EXPECT_FIELD(cpldeltnseg);
      expect_delta(want.cpldeltnseg, want.cpldeltoffst, want.cpldeltlen, want.cpldeltba, got.cpldeltoffst,
                   got.cpldeltlen, got.cpldeltba, "coupling delta");
    }
    for (int bin = want.cplstrtmant; bin < want.cplendmant; ++bin) {
      ASSERT_EQ(got.cpl_exp[bin], want.cpl_exp[bin]) << "coupling exponent of bin " << bin;
      ASSERT_EQ(got.cpl_bap[bin], want.cpl_bap[bin]) << "coupling bap of bin " << bin;
    }
  }
  if (b.acmod == 2) {
    EXPECT_FIELD(rematstr);
    const int bands = !want.cplinu || want.cplbegf > 2 ? 4 : want.cplbegf == 0 ? 2 : 3;
    for (int r = 0; r < bands; ++r) EXPECT_FIELD(rematflg[r]);
  }
  if (b.lfeon) {
    SCOPED_TRACE("LFE");
    EXPECT_FIELD(lfeexpstr);
    for (int g = 0; g < 3; ++g) EXPECT_FIELD(lfeexps[g]);
    EXPECT_FIELD(lfefsnroffst);
    EXPECT_FIELD(lfefgaincod);
    for (int bin = 0; bin < 7; ++bin) {
      EXPECT_FIELD(lfe_exp[bin]);
      EXPECT_FIELD(lfe_bap[bin]);
    }
  }
  EXPECT_FIELD(baie);
  EXPECT_FIELD(sdcycod);
  EXPECT_FIELD(fdcycod);
  EXPECT_FIELD(sgaincod);
  EXPECT_FIELD(dbpbcod);
  EXPECT_FIELD(floorcod);
  EXPECT_FIELD(snroffste);
  EXPECT_FIELD(csnroffst);
  EXPECT_FIELD(deltbaie);
  EXPECT_FIELD(skiple);
  if (want.skiple) EXPECT_FIELD(skipl);
}

#undef EXPECT_FIELD

// Coefficients after unpacking (and decoupling); dithered bins are left out.
void expect_coefficients(const ac3::coeff_buffer_t& coeffs, const ac3::bsi& b,
                         const ac3test::coefficient_block& want) {
  int compared = 0;
  for (int slot = 0; slot < 6; ++slot) {
    if (slot >= b.nfchans && !(slot == ac3::kLfeSlot && b.lfeon)) continue;
    for (int bin = 0; bin < 256; ++bin) {
      const float w = want[static_cast<size_t>(slot)][static_cast<size_t>(bin)];
      if (std::isnan(w)) continue;
      ASSERT_EQ(coeffs[slot][bin], w) << "slot " << slot << " bin " << bin;
      ++compared;
    }
  }
  EXPECT_GT(compared, 0);
}

// 2/0: the sums and differences of the bands whose rematflg is set, up to the coupling start.
void expect_rematrixed(const ac3::coeff_buffer_t& coeffs, const ac3::audblk& want,
                       const ac3test::coefficient_block& before) {
  static const int kBandStart[4] = {13, 25, 37, 61};
  static const int kBandEnd[4] = {25, 37, 61, 253};
  const int bands = !want.cplinu || want.cplbegf > 2 ? 4 : want.cplbegf == 0 ? 2 : 3;
  int changed = 0;
  for (int bin = 0; bin < 256; ++bin) {
    const float l = before[0][static_cast<size_t>(bin)];
    const float r = before[1][static_cast<size_t>(bin)];
    if (std::isnan(l) || std::isnan(r)) continue;
    float want_l = l;
    float want_r = r;
    for (int band = 0; band < bands; ++band) {
      int end = kBandEnd[band];
      if (want.cplinu && end > want.cplstrtmant) end = want.cplstrtmant;
      if (want.rematflg[band] && bin >= kBandStart[band] && bin < end) {
        want_l = l + r;
        want_r = l - r;
        ++changed;
      }
    }
    ASSERT_FLOAT_EQ(coeffs[0][bin], want_l) << "left bin " << bin;
    ASSERT_FLOAT_EQ(coeffs[1][bin], want_r) << "right bin " << bin;
  }
  if (want.rematflg[0] || want.rematflg[1]) {
    EXPECT_GT(changed, 0);
  }
}

std::vector<uint8_t> concatenate(const std::vector<ac3test::written_frame>& frames) {
  std::vector<uint8_t> bytes;
  for (const ac3test::written_frame& w : frames) bytes.insert(bytes.end(), w.bytes.begin(), w.bytes.end());
  return bytes;
}

class FrameKinds : public testing::TestWithParam<kind> {};

// Reads frames stage by stage and compares everything with what the writer wrote.
void expect_parsed_as_written(const std::vector<ac3test::written_frame>& frames, int fscod) {
  decoder_test::test_decoder dec;
  ac3::decoder_config config{};
  ac3::decoder_init(dec, config);
  decoder_test::feed_bytes(dec, concatenate(frames));
  dec->error_flag = 0;
  for (size_t n = 0; n < frames.size(); ++n) {
    SCOPED_TRACE("frame " + std::to_string(n));
    const ac3test::written_frame& w = frames[n];
    ac3::read_syncinfo(dec);
    ASSERT_EQ(dec->error_flag, 0);
    EXPECT_EQ(dec->syncinfo.fscod, fscod);
    EXPECT_EQ(2 * dec->syncinfo.frame_size, static_cast<int>(w.bytes.size()));
    ac3::read_bsi(dec);
    expect_bsi(w.bsi, dec->bsi);
    ASSERT_EQ(ac3::bits_position(dec), w.bsi_end);
    for (int blk = 0; blk < ac3test::kBlocks; ++blk) {
      SCOPED_TRACE("block " + std::to_string(blk));
      std::memset(dec->coeffs, 0, sizeof dec->coeffs);
      ac3::read_audblk(dec);
      ASSERT_EQ(dec->error_flag, 0);
      ASSERT_EQ(ac3::bits_position(dec), w.mantissas_begin[blk]);
      ac3::expand_exponents(dec);
      ASSERT_EQ(dec->error_flag, 0);
      ac3::allocate_bits(dec);
      ASSERT_EQ(dec->error_flag, 0);
      expect_block(w.bsi, w.after_block[static_cast<size_t>(blk)], dec->audblk);
      ac3::unpack_coefficients(dec);
      ASSERT_EQ(dec->error_flag, 0);
      ASSERT_EQ(ac3::bits_position(dec), w.mantissas_end[blk]);
      expect_coefficients(dec->coeffs, w.bsi, w.coefficients[blk]);
      if (testing::Test::HasFatalFailure()) return;
      if (w.bsi.acmod == 2) {
        ac3::rematrix_stereo(dec);
        expect_rematrixed(dec->coeffs, w.after_block[static_cast<size_t>(blk)], w.coefficients[blk]);
        if (testing::Test::HasFatalFailure()) return;
      }
    }
    // The rest of the frame is padding, auxdatae, crcrsv and crc2.
    EXPECT_LE(ac3::bits_position(dec), w.body_bits - 18);
  }
}

TEST_P(FrameKinds, ParseToTheFieldsWrittenAndEndWhereTheWriterStopped) {
  const kind& k = GetParam();
  expect_parsed_as_written(frame_kinds::write_kind(k, 3), k.fscod);
}

INSTANTIATE_TEST_SUITE_P(All, FrameKinds, testing::ValuesIn(frame_kinds::all_kinds()),
                         [](const testing::TestParamInfo<kind>& info) { return info.param.name; });

// The kinds together reach every quantizer, and grouped codes that continue in the next channel.
TEST(FrameKindsCoverage, EveryBapAndGroupsAcrossChannels) {
  int count[16] = {};
  int spanning[16] = {};
  for (const kind& k : frame_kinds::all_kinds()) {
    for (const ac3test::written_frame& w : frame_kinds::write_kind(k, 3)) {
      for (int blk = 0; blk < ac3test::kBlocks; ++blk) {
        for (int bap = 0; bap < 16; ++bap) {
          count[bap] += w.mantissa_count[blk][bap];
          spanning[bap] += w.spanning_groups[blk][bap];
        }
      }
    }
  }
  for (int bap = 1; bap < 16; ++bap) EXPECT_GT(count[bap], 0) << "bap " << bap;
  EXPECT_GT(spanning[1], 0);
  EXPECT_GT(spanning[2], 0);
  EXPECT_GT(spanning[4], 0);
}

// A block that sends nothing new but coupling leak values: the coupling channel's allocation
// changes with them, and the rest of the block is read with the new widths.
TEST(CouplingAllocation, NewLeakValuesAloneRecomputeTheCouplingBaps) {
  ac3test::frame_writer writer;
  ac3test::frame_plan f = ac3test::make_frame_plan(0, 24, 2, 0);
  frame_kinds::fill_signal(f, 9);
  frame_kinds::enable_coupling(f, 0, 12, 0x3, false);
  f.blocks[0].cplfleak = 0;
  f.blocks[0].cplsleak = 0;
  f.blocks[2].cplleake = 1;
  f.blocks[2].cplfleak = 7;
  f.blocks[2].cplsleak = 7;
  ac3test::fit_snr_offset(writer, f);
  const ac3test::written_frame w = writer.write(f);
  const ac3::audblk& before = w.after_block[1];
  const ac3::audblk& after = w.after_block[2];
  EXPECT_NE(0, std::memcmp(before.cpl_bap + before.cplstrtmant, after.cpl_bap + after.cplstrtmant,
                           sizeof(uint16_t) * static_cast<size_t>(after.cplendmant - after.cplstrtmant)));
  expect_parsed_as_written({w}, 0);
}

// Delta segments of the coupling channel count bands from its own first band: offset 0 changes
// the mask of the band that holds cplstrtmant.
TEST(CouplingAllocation, DeltaSegmentsStartAtTheCouplingChannelsFirstBand) {
  ac3test::frame_writer plain_writer;
  ac3test::frame_writer delta_writer;
  ac3test::frame_plan f = ac3test::make_frame_plan(0, 30, 2, 0);
  frame_kinds::fill_signal(f, 11);
  frame_kinds::enable_coupling(f, 2, 12, 0x3, false);
  ac3test::fit_snr_offset(plain_writer, f);
  const ac3test::written_frame plain = plain_writer.write(f);
  f.blocks[0].cpldeltbae = 1;
  f.blocks[0].cpldeltnseg = 0;
  f.blocks[0].cpldeltoffst[0] = 0;
  f.blocks[0].cpldeltlen[0] = 1;
  f.blocks[0].cpldeltba[0] = 0;  // mask -4 x 128 on the first coupling band: more bits there
  const ac3test::written_frame delta = delta_writer.write(f);
  const int start = plain.after_block[0].cplstrtmant;  // bin 61: band 37, bins 61..66
  int raised = 0;
  for (int bin = start; bin < start + 6; ++bin) {
    EXPECT_GE(delta.after_block[0].cpl_bap[bin], plain.after_block[0].cpl_bap[bin]) << "bin " << bin;
    raised += delta.after_block[0].cpl_bap[bin] > plain.after_block[0].cpl_bap[bin];
  }
  EXPECT_GT(raised, 0);
  for (int bin = start + 6; bin < plain.after_block[0].cplendmant; ++bin) {
    ASSERT_EQ(delta.after_block[0].cpl_bap[bin], plain.after_block[0].cpl_bap[bin]) << "bin " << bin;
  }
  expect_parsed_as_written({delta}, 0);
}

}  // namespace

#include "support/ac3_frame_kinds.h"

#include <cmath>
#include <stdexcept>

namespace frame_kinds {

using ac3test::frame_plan;

namespace {

unsigned next(unsigned& s) {
  s = s * 1664525u + 1013904223u;
  return s >> 8;
}

float random_coefficient(unsigned& s) {
  const unsigned r = next(s);
  if (r % 7 == 0) return 0.0f;
  const int level = static_cast<int>((r >> 3) % 14);
  const float fraction = 0.5f + 0.5f * static_cast<float>((r >> 7) % 1000) / 1000.0f;
  const float v = std::ldexp(fraction, -level);
  return (r >> 20) & 1 ? -v : v;
}

// ffmpeg (as run here) spoils one block of overlap in some channels the first time the channels of
// a block use different transform lengths, unless that happens in the stream's very first block
// (whose overlap is still silence). Streams meant for comparison with it let the first channel
// switch alone in block 0.
void prime_block_switching(frame_plan& f) { f.blocks[0].blksw[0] = 1; }

void set_coordinates(ac3::audblk& a, int ch, int bands, int mstrcplco) {
  a.mstrcplco[ch] = static_cast<uint16_t>(mstrcplco);
  for (int bnd = 0; bnd < bands; ++bnd) {
    const double gain = (0.45 + 0.1 * ((bnd + ch) % 5)) * std::ldexp(1.0, -3 * mstrcplco);
    const ac3test::coupling_coordinate c = ac3test::coupling_coordinate_for(gain, mstrcplco);
    a.cplcoexp[ch][bnd] = c.cplcoexp;
    a.cplcomant[ch][bnd] = c.cplcomant;
  }
}

// Every bsi field that is optional, present.
void rich_bsi(frame_plan& f) {
  ac3::bsi& b = f.bsi;
  b.bsmod = 2;
  b.cmixlev = 1;
  b.surmixlev = 2;
  b.dsurmod = 2;
  b.dialnorm = 27;
  b.compre = 1;
  b.compr = 0xa5;
  b.langcode = 1;
  b.langcod = 9;
  b.audprodie = 1;
  b.mixlevel = 17;
  b.roomtyp = 2;
  b.dialnorm2 = 12;
  b.compr2e = 1;
  b.compr2 = 0x3c;
  b.langcod2e = 1;
  b.langcod2 = 14;
  b.audprodi2e = 1;
  b.mixlevel2 = 30;
  b.roomtyp2 = 1;
  b.copyrightb = 1;
  b.origbs = 1;
  b.timecod1e = 1;
  b.timecod1 = 0x2abc;
  b.timecod2e = 1;
  b.timecod2 = 0x1234;
}

void strategies(frame_plan& f, int) {
  enable_coupling(f, 2, 12, 0x0d, false);  // L, R, SL in coupling; C and SR not
  static const int kCh[6][5] = {{1, 2, 3, 2, 1}, {0, 0, 0, 0, 0}, {3, 0, 2, 1, 0}, {2, 1, 0, 3, 3}, {0, 3, 1, 0, 2}, {1, 0, 0, 0, 0}};
  static const int kCpl[6] = {1, 0, 2, 3, 0, 1};
  static const int kLfe[6] = {1, 0, 1, 0, 0, 1};
  for (int blk = 0; blk < 6; ++blk) {
    ac3::audblk& a = f.blocks[blk];
    for (int ch = 0; ch < 5; ++ch) a.chexpstr[ch] = static_cast<uint16_t>(kCh[blk][ch]);
    a.cplexpstr = static_cast<uint16_t>(kCpl[blk]);
    a.lfeexpstr = static_cast<uint16_t>(kLfe[blk]);
    a.chbwcod[1] = 44;
    a.chbwcod[4] = static_cast<uint16_t>(20 + 8 * blk);
  }
}

void coupling_with_phase(frame_plan& f, int begf, int endf) {
  enable_coupling(f, begf, endf, 0x3, true);
  ac3::audblk& a0 = f.blocks[0];
  // Sub-bands 2 and 3 join the band before them, so the coordinates cover fewer bands.
  a0.cplbndstrc[2] = 1;
  a0.cplbndstrc[3] = 1;
  for (int bnd = 0; bnd < 18; ++bnd) a0.phsflg[bnd] = static_cast<uint16_t>(bnd % 3 == 1);
  for (int r = 0; r < 4; ++r) a0.rematflg[r] = static_cast<uint16_t>(r % 2 == 0);
  // Block 2: new coordinates for the left channel only, with other phase flags.
  ac3::audblk& a2 = f.blocks[2];
  a2.cplcoe[0] = 1;
  set_coordinates(a2, 0, 18, 1);
  for (int bnd = 0; bnd < 18; ++bnd) a2.phsflg[bnd] = static_cast<uint16_t>(bnd % 2 == 0);
  // Short transforms in some blocks of either channel. The channels differ already in block 0 (see
  // prime_block_switching).
  prime_block_switching(f);
  f.blocks[1].blksw[0] = 1;
  f.blocks[3].blksw[1] = 1;
  f.blocks[4].blksw[0] = 1;
  f.blocks[4].blksw[1] = 1;
  // Block 4: new rematrixing flags.
  f.blocks[4].rematstr = 1;
  for (int r = 0; r < 4; ++r) f.blocks[4].rematflg[r] = 1;
}

void delta_allocation(frame_plan& f, int) {
  enable_coupling(f, 2, 13, 0xf, false);
  prime_block_switching(f);
  f.blocks[3].blksw[0] = 1;
  ac3::audblk& a0 = f.blocks[0];
  a0.deltbaie = 1;
  a0.cpldeltbae = 1;
  a0.cpldeltnseg = 2;
  // Counted from the coupling channel's first band (37 for cplbegf 2).
  const uint16_t cpl_seg[3][3] = {{0, 3, 4}, {1, 4, 7}, {3, 2, 0}};
  for (int s = 0; s < 3; ++s) {
    a0.cpldeltoffst[s] = cpl_seg[s][0];
    a0.cpldeltlen[s] = cpl_seg[s][1];
    a0.cpldeltba[s] = cpl_seg[s][2];
  }
  a0.deltbae[0] = 1;
  a0.deltnseg[0] = 1;
  a0.deltoffst[0][0] = 5;
  a0.deltlen[0][0] = 8;
  a0.deltba[0][0] = 2;
  a0.deltoffst[0][1] = 10;
  a0.deltlen[0][1] = 5;
  a0.deltba[0][1] = 5;
  // Block 2 keeps the first channel's segments (mode 0), stops the coupling channel's and gives the
  // third channel its own.
  ac3::audblk& a2 = f.blocks[2];
  a2.deltbaie = 1;
  a2.cpldeltbae = 2;
  a2.deltbae[0] = 0;
  a2.deltbae[1] = 2;
  a2.deltbae[2] = 1;
  a2.deltbae[3] = 2;
  a2.deltnseg[2] = 0;
  a2.deltoffst[2][0] = 20;
  a2.deltlen[2][0] = 15;
  a2.deltba[2][0] = 6;
  // Block 4: the coupling channel's delta again, with one segment.
  ac3::audblk& a4 = f.blocks[4];
  a4.deltbaie = 1;
  a4.cpldeltbae = 1;
  a4.cpldeltnseg = 0;
  a4.cpldeltoffst[0] = 2;
  a4.cpldeltlen[0] = 10;
  a4.cpldeltba[0] = 3;
  for (int ch = 0; ch < 5; ++ch) a4.deltbae[ch] = 2;
}

void block_switching_and_dither(frame_plan& f, int frame) {
  for (int blk = 0; blk < 6; ++blk) {
    for (int ch = 0; ch < 5; ++ch) {
      f.blocks[blk].blksw[ch] = static_cast<uint16_t>((blk + ch + frame) % 3 == 0);
      f.blocks[blk].dithflag[ch] = static_cast<uint16_t>((blk + 2 * ch) % 4 == 1);
    }
  }
}

void later_parameters(frame_plan& f, int) {
  enable_coupling(f, 1, 9, 0x7, false);
  ac3::audblk& a2 = f.blocks[2];
  a2.cplleake = 1;
  a2.cplfleak = 7;
  a2.cplsleak = 0;
  ac3::audblk& a3 = f.blocks[3];
  a3.baie = 1;
  a3.sdcycod = 3;
  a3.fdcycod = 0;
  a3.sgaincod = 3;
  a3.dbpbcod = 3;
  a3.floorcod = 7;
  ac3::audblk& a4 = f.blocks[4];
  a4.snroffste = 1;
  a4.cplfsnroffst = 9;
  a4.cplfgaincod = 1;
  a4.lfefsnroffst = 3;
  a4.lfefgaincod = 6;
  for (int ch = 0; ch < 5; ++ch) {
    a4.fsnroffst[ch] = static_cast<uint16_t>(2 * ch + 1);
    a4.fgaincod[ch] = static_cast<uint16_t>(7 - ch);
  }
  for (int blk = 0; blk < 6; ++blk) {
    f.blocks[blk].dynrnge = static_cast<uint16_t>(blk % 2);
    f.blocks[blk].dynrng = static_cast<uint16_t>(0x40 + blk);
    f.blocks[blk].gainrng[blk % 5] = static_cast<uint16_t>(blk % 4);
  }
}

std::vector<kind> make_kinds() {
  std::vector<kind> kinds;
  static const int kRates[8] = {18, 8, 20, 24, 24, 28, 28, 30};
  for (int acmod = 0; acmod < 8; ++acmod) {
    for (int lfeon = 0; lfeon < 2; ++lfeon) {
      const int fscod = (acmod + lfeon) % 3;
      kinds.push_back({"acmod" + std::to_string(acmod) + (lfeon ? "_lfe" : "") + "_fs" + std::to_string(fscod), fscod,
                       kRates[acmod], acmod, lfeon, [acmod, lfeon](frame_plan& f, int) {
                         if (lfeon) rich_bsi(f);
                         if (acmod == 0 && lfeon) {
                           f.blocks[0].dynrng2e = 1;
                           f.blocks[0].dynrng2 = 0x81;
                           f.blocks[3].dynrnge = 1;
                           f.blocks[3].dynrng = 0x7f;
                           f.blocks[3].dynrng2e = 1;
                           f.blocks[3].dynrng2 = 0x01;
                         }
                       }});
    }
  }
  kinds.push_back({"exponent_strategies", 0, 30, 7, 1, strategies});
  kinds.push_back({"coupling_begf0_phase", 0, 22, 2, 0, [](frame_plan& f, int) { coupling_with_phase(f, 0, 8); }});
  kinds.push_back({"coupling_begf1", 1, 21, 2, 0, [](frame_plan& f, int) { coupling_with_phase(f, 1, 12); }});
  kinds.push_back({"coupling_begf2_phase", 0, 22, 2, 1, [](frame_plan& f, int) { coupling_with_phase(f, 2, 10); }});
  kinds.push_back({"coupling_begf3_phase", 2, 20, 2, 0, [](frame_plan& f, int) {
                     coupling_with_phase(f, 3, 15);
                     // A coordinate with exponent 15 (no leading one) and a master exponent.
                     set_coordinates(f.blocks[0], 1, 18, 2);
                     f.blocks[0].cplcoexp[1][4] = 15;
                     f.blocks[0].cplcomant[1][4] = 9;
                   }});
  kinds.push_back({"coupling_off_and_on_again", 0, 28, 2, 1, [](frame_plan& f, int) {
                     coupling_with_phase(f, 1, 11);
                     // Block 3 turns coupling off (new exponents and bandwidths for both channels);
                     // block 5 turns it on again with other limits, coordinates and leaks.
                     ac3::audblk& a3 = f.blocks[3];
                     a3.cplstre = 1;
                     a3.cplinu = 0;
                     a3.chexpstr[0] = 2;
                     a3.chexpstr[1] = 1;
                     a3.chbwcod[0] = 60;  // equal: see the note on rematrixing in ac3_frame_writer.h
                     a3.chbwcod[1] = 60;
                     a3.rematstr = 1;
                     for (int r = 0; r < 4; ++r) a3.rematflg[r] = static_cast<uint16_t>(r >= 2);
                     for (int blk = 4; blk < 6; ++blk) f.blocks[blk].cplinu = 0;
                     ac3::audblk& a5 = f.blocks[5];
                     a5.cplstre = 1;
                     a5.cplinu = 1;
                     a5.cplbegf = 4;
                     a5.cplendf = 14;
                     a5.chexpstr[0] = 1;
                     a5.chexpstr[1] = 1;
                     a5.cplexpstr = 3;
                     a5.cplcoe[0] = 1;
                     a5.cplcoe[1] = 1;
                     a5.cplleake = 1;
                     a5.cplfleak = 5;
                     a5.cplsleak = 1;
                     for (int bnd = 0; bnd < 18; ++bnd) a5.phsflg[bnd] = static_cast<uint16_t>(bnd % 4 == 0);
                   }});
  kinds.push_back({"rematrix_no_coupling", 0, 20, 2, 0, [](frame_plan& f, int frame) {
                     for (int r = 0; r < 4; ++r) f.blocks[0].rematflg[r] = static_cast<uint16_t>((r + frame) % 2);
                     f.blocks[3].rematstr = 1;
                     f.blocks[3].rematflg[3] = 1;
                     f.blocks[3].rematflg[1] = 1;
                   }});
  kinds.push_back({"delta_bit_allocation", 0, 26, 6, 0, delta_allocation});
  kinds.push_back({"block_switching_dither", 1, 31, 7, 1, block_switching_and_dither});
  kinds.push_back({"addbsi_and_skip", 0, 36, 1, 0, [](frame_plan& f, int frame) {
                     f.bsi.addbsie = 1;
                     f.bsi.addbsil = 63;
                     for (int i = 0; i < 64; ++i) f.bsi.addbsi[i] = static_cast<uint8_t>(i * 7 + frame);
                     f.blocks[0].skiple = 1;
                     f.blocks[0].skipl = 0;
                     f.blocks[1].skiple = 1;
                     f.blocks[1].skipl = 37;
                     f.blocks[4].skiple = 1;
                     f.blocks[4].skipl = 300;
                   }});
  kinds.push_back({"later_parameters", 0, 28, 5, 1, later_parameters});
  kinds.push_back({"bandwidths", 2, 12, 3, 0, [](frame_plan& f, int) {
                     f.blocks[0].chbwcod[0] = 0;
                     f.blocks[0].chbwcod[1] = 31;
                     f.blocks[0].chbwcod[2] = 59;
                     f.blocks[0].chexpstr[0] = 3;
                     f.blocks[0].chexpstr[1] = 2;
                     f.blocks[3].chexpstr[0] = 2;
                     f.blocks[3].chbwcod[0] = 60;
                   }});
  return kinds;
}

}  // namespace

const std::vector<kind>& all_kinds() {
  static const std::vector<kind> kinds = make_kinds();
  return kinds;
}

const kind& kind_named(const std::string& name) {
  for (const kind& k : all_kinds()) {
    if (k.name == name) return k;
  }
  throw std::out_of_range("no frame kind " + name);
}

void fill_signal(frame_plan& f, unsigned seed) {
  unsigned s = seed * 2654435761u + 1u;
  for (int blk = 0; blk < ac3test::kBlocks; ++blk) {
    for (int ch = 0; ch < 5; ++ch) {
      for (int bin = 0; bin < 256; ++bin) f.fbw[blk][ch][bin] = random_coefficient(s);
    }
    for (int bin = 0; bin < 256; ++bin) f.cpl[blk][bin] = random_coefficient(s);
    for (int bin = 0; bin < 7; ++bin) f.lfe[blk][bin] = random_coefficient(s);
  }
}

void enable_coupling(frame_plan& f, int cplbegf, int cplendf, unsigned mask, bool phase_flags) {
  for (int blk = 0; blk < ac3test::kBlocks; ++blk) {
    ac3::audblk& a = f.blocks[blk];
    const bool first = blk == 0;
    a.cplstre = first;
    a.cplinu = 1;
    a.phsflginu = phase_flags;
    a.cplbegf = static_cast<uint16_t>(cplbegf);
    a.cplendf = static_cast<uint16_t>(cplendf);
    a.cplexpstr = first;
    a.cplleake = first;
    a.cplfleak = 2;
    a.cplsleak = 3;
    a.cplfgaincod = 4;
    a.cpldeltbae = 2;
    for (int ch = 0; ch < 5; ++ch) {
      a.chincpl[ch] = static_cast<uint16_t>((mask >> ch) & 1u);
      a.cplcoe[ch] = static_cast<uint16_t>(first && a.chincpl[ch]);
      set_coordinates(a, ch, 18, 0);
    }
  }
}

std::vector<ac3test::written_frame> write_kind(const kind& k, int frames,
                                               const std::function<void(ac3test::frame_plan&, int frame)>& adjust) {
  ac3test::frame_writer writer;
  std::vector<ac3test::written_frame> out;
  for (int n = 0; n < frames; ++n) {
    auto f = std::make_unique<frame_plan>(ac3test::make_frame_plan(k.fscod, k.frmsizecod + (k.fscod == 1 ? n % 2 : 0), k.acmod, k.lfeon));
    fill_signal(*f, static_cast<unsigned>(n * 131 + k.acmod * 7 + k.lfeon));
    if (k.shape) k.shape(*f, n);
    if (adjust) adjust(*f, n);
    ac3test::fit_snr_offset(writer, *f);
    out.push_back(writer.write(*f));
  }
  return out;
}

}  // namespace frame_kinds

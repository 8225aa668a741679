// Audio block side information: everything of a block that precedes its mantissas, in stream order.
// Fields a block does not send keep their earlier values. Values that would carry a later stage
// outside its arrays (coupling begin past end + 2, channel bandwidth code above 60) make the frame
// bad before any derived limit is changed.
#include "ac3/bitstream.h"
#include "ac3/guards.h"
#include "ac3/stages.h"

namespace ac3 {

namespace {

constexpr int kMaxChbwcod = 60;   // endmant 253: the last bin that has a band

uint16_t take(decoder& d, int n) { return static_cast<uint16_t>(bits_take(d, n)); }

void read_coupling_strategy(decoder& d) {
  const bsi& b = d.bsi;
  audblk& ab = d.audblk;
  ab.cplinu = take(d, 1);
  if (!ab.cplinu) return;
  for (int ch = 0; ch < b.nfchans; ++ch) ab.chincpl[ch] = take(d, 1);
  if (b.acmod == 2) ab.phsflginu = take(d, 1);
  ab.cplbegf = take(d, 4);
  ab.cplendf = take(d, 4);
  if (ab.cplbegf > ab.cplendf + 2) {
    // No coupling sub-band at all: the limits below would run backwards.
    sanity_check_failed(d, "cpl params inconsistent");
    return;
  }
  ab.cplstrtmant = static_cast<uint16_t>(12 * ab.cplbegf + 37);
  ab.cplendmant = static_cast<uint16_t>(12 * ab.cplendf + 73);
  ab.ncplsubnd = static_cast<uint16_t>(ab.cplendf - ab.cplbegf + 3);  // 1..18
  ab.ncplbnd = ab.ncplsubnd;
  for (int bnd = 1; bnd < ab.ncplsubnd; ++bnd) {
    ab.cplbndstrc[bnd] = take(d, 1);
    ab.ncplbnd = static_cast<uint16_t>(ab.ncplbnd - ab.cplbndstrc[bnd]);
  }
}

void read_coupling_coordinates(decoder& d) {
  const bsi& b = d.bsi;
  audblk& ab = d.audblk;
  for (int ch = 0; ch < b.nfchans; ++ch) {
    if (!ab.chincpl[ch]) continue;
    ab.cplcoe[ch] = take(d, 1);
    if (!ab.cplcoe[ch]) continue;
    ab.mstrcplco[ch] = take(d, 2);
    for (int bnd = 0; bnd < ab.ncplbnd; ++bnd) {
      ab.cplcoexp[ch][bnd] = take(d, 4);
      ab.cplcomant[ch][bnd] = take(d, 4);
    }
  }
  if (b.acmod == 2 && ab.phsflginu && (ab.cplcoe[0] || ab.cplcoe[1])) {
    for (int bnd = 0; bnd < ab.ncplbnd; ++bnd) ab.phsflg[bnd] = take(d, 1);
  }
}

int rematrix_band_count(const audblk& ab) {
  if (!ab.cplinu || ab.cplbegf > 2) return 4;
  return ab.cplbegf > 0 ? 3 : 2;
}

// Group size in bins for an exponent strategy 1..3 (D15, D25, D45).
int group_bins(int expstr) { return 3 << (expstr - 1); }

// Channel bandwidths and group counts; false when a bandwidth code is out of range.
bool read_channel_bandwidths(decoder& d) {
  const bsi& b = d.bsi;
  audblk& ab = d.audblk;
  for (int ch = 0; ch < b.nfchans; ++ch) {
    if (ab.chexpstr[ch] == 0) continue;
    int endmant;
    if (ab.cplinu && ab.chincpl[ch]) {
      endmant = ab.cplstrtmant;
    } else {
      ab.chbwcod[ch] = take(d, 6);
      if (ab.chbwcod[ch] > kMaxChbwcod) {
        sanity_check_failed(d, "chbwcod too big");
        return false;
      }
      endmant = 3 * ab.chbwcod[ch] + 73;
    }
    const int g = group_bins(ab.chexpstr[ch]);
    const int groups = (endmant + g - 4) / g;
    ab.endmant[ch] = static_cast<uint16_t>(endmant);
    ab.nchgrps[ch] = static_cast<uint16_t>(groups > 0 ? groups : 0);  // at most 84
  }
  return true;
}

void read_exponents(decoder& d) {
  const bsi& b = d.bsi;
  audblk& ab = d.audblk;
  if (ab.cplinu && ab.cplexpstr != 0) {
    ab.cplabsexp = take(d, 4);
    for (int grp = 0; grp < ab.ncplgrps; ++grp) ab.cplexps[grp] = take(d, 7);
  }
  for (int ch = 0; ch < b.nfchans; ++ch) {
    if (ab.chexpstr[ch] == 0) continue;
    ab.exps[ch][0] = take(d, 4);
    for (int grp = 1; grp <= ab.nchgrps[ch]; ++grp) ab.exps[ch][grp] = take(d, 7);
    ab.gainrng[ch] = take(d, 2);
  }
  if (b.lfeon && ab.lfeexpstr) {
    ab.lfeexps[0] = take(d, 4);
    ab.lfeexps[1] = take(d, 7);
    ab.lfeexps[2] = take(d, 7);
  }
}

void read_allocation_parameters(decoder& d) {
  const bsi& b = d.bsi;
  audblk& ab = d.audblk;
  ab.baie = take(d, 1);
  if (ab.baie) {
    ab.sdcycod = take(d, 2);
    ab.fdcycod = take(d, 2);
    ab.sgaincod = take(d, 2);
    ab.dbpbcod = take(d, 2);
    ab.floorcod = take(d, 3);
  }
  ab.snroffste = take(d, 1);
  if (ab.snroffste) {
    ab.csnroffst = take(d, 6);
    if (ab.cplinu) {
      ab.cplfsnroffst = take(d, 4);
      ab.cplfgaincod = take(d, 3);
    }
    for (int ch = 0; ch < b.nfchans; ++ch) {
      ab.fsnroffst[ch] = take(d, 4);
      ab.fgaincod[ch] = take(d, 3);
    }
    if (b.lfeon) {
      ab.lfefsnroffst = take(d, 4);
      ab.lfefgaincod = take(d, 3);
    }
  }
  if (ab.cplinu) {
    ab.cplleake = take(d, 1);
    if (ab.cplleake) {
      ab.cplfleak = take(d, 3);
      ab.cplsleak = take(d, 3);
    }
  }
}

// deltnseg is 3 bits, so at most 8 segments: always within the segment arrays.
void read_delta_segments(decoder& d, uint16_t& nseg, uint16_t* offst, uint16_t* len, uint16_t* ba) {
  nseg = take(d, 3);
  for (int seg = 0; seg <= nseg; ++seg) {
    offst[seg] = take(d, 5);
    len[seg] = take(d, 4);
    ba[seg] = take(d, 3);
  }
}

void read_delta_allocation(decoder& d) {
  const bsi& b = d.bsi;
  audblk& ab = d.audblk;
  ab.deltbaie = take(d, 1);
  if (!ab.deltbaie) return;
  if (ab.cplinu) ab.cpldeltbae = take(d, 2);
  for (int ch = 0; ch < b.nfchans; ++ch) ab.deltbae[ch] = take(d, 2);
  if (ab.cplinu && ab.cpldeltbae == 1) {
    read_delta_segments(d, ab.cpldeltnseg, ab.cpldeltoffst, ab.cpldeltlen, ab.cpldeltba);
  }
  for (int ch = 0; ch < b.nfchans; ++ch) {
    if (ab.deltbae[ch] != 1) continue;
    read_delta_segments(d, ab.deltnseg[ch], ab.deltoffst[ch], ab.deltlen[ch], ab.deltba[ch]);
  }
}

}  // namespace

void read_audblk(decoder& d) {
  const bsi& b = d.bsi;
  audblk& ab = d.audblk;
  for (int ch = 0; ch < b.nfchans; ++ch) ab.blksw[ch] = take(d, 1);
  for (int ch = 0; ch < b.nfchans; ++ch) ab.dithflag[ch] = take(d, 1);

  ab.dynrnge = take(d, 1);
  if (ab.dynrnge) ab.dynrng = take(d, 8);
  if (b.acmod == 0) {
    ab.dynrng2e = take(d, 1);
    if (ab.dynrng2e) ab.dynrng2 = take(d, 8);
  }

  ab.cplstre = take(d, 1);
  if (ab.cplstre) {
    read_coupling_strategy(d);
    if (d.error_flag) return;
  }
  if (ab.cplinu) read_coupling_coordinates(d);

  if (b.acmod == 2) {
    ab.rematstr = take(d, 1);
    if (ab.rematstr) {
      const int bands = rematrix_band_count(ab);
      for (int rbnd = 0; rbnd < bands; ++rbnd) ab.rematflg[rbnd] = take(d, 1);
    }
  }

  if (ab.cplinu) {
    ab.cplexpstr = take(d, 2);
    if (ab.cplexpstr != 0) {
      ab.ncplgrps = static_cast<uint16_t>((ab.cplendmant - ab.cplstrtmant) / group_bins(ab.cplexpstr));
    }
  }
  for (int ch = 0; ch < b.nfchans; ++ch) ab.chexpstr[ch] = take(d, 2);
  if (b.lfeon) ab.lfeexpstr = take(d, 1);
  if (!read_channel_bandwidths(d)) {
    d.error_flag = 1;
    return;
  }

  read_exponents(d);
  read_allocation_parameters(d);
  read_delta_allocation(d);

  ab.skiple = take(d, 1);
  if (ab.skiple) {
    ab.skipl = take(d, 9);
    for (int i = 0; i < ab.skipl; ++i) bits_take(d, 8);
  }
}

}  // namespace ac3

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

uint16_t take(int n) { return static_cast<uint16_t>(bits_take(n)); }

void read_coupling_strategy(const bsi& b, audblk& ab) {
  ab.cplinu = take(1);
  if (!ab.cplinu) return;
  for (int ch = 0; ch < b.nfchans; ++ch) ab.chincpl[ch] = take(1);
  if (b.acmod == 2) ab.phsflginu = take(1);
  ab.cplbegf = take(4);
  ab.cplendf = take(4);
  if (ab.cplbegf > ab.cplendf + 2) {
    // No coupling sub-band at all: the limits below would run backwards.
    sanity_check_failed("cpl params inconsistent");
    return;
  }
  ab.cplstrtmant = static_cast<uint16_t>(12 * ab.cplbegf + 37);
  ab.cplendmant = static_cast<uint16_t>(12 * ab.cplendf + 73);
  ab.ncplsubnd = static_cast<uint16_t>(ab.cplendf - ab.cplbegf + 3);  // 1..18
  ab.ncplbnd = ab.ncplsubnd;
  for (int bnd = 1; bnd < ab.ncplsubnd; ++bnd) {
    ab.cplbndstrc[bnd] = take(1);
    ab.ncplbnd = static_cast<uint16_t>(ab.ncplbnd - ab.cplbndstrc[bnd]);
  }
}

void read_coupling_coordinates(const bsi& b, audblk& ab) {
  for (int ch = 0; ch < b.nfchans; ++ch) {
    if (!ab.chincpl[ch]) continue;
    ab.cplcoe[ch] = take(1);
    if (!ab.cplcoe[ch]) continue;
    ab.mstrcplco[ch] = take(2);
    for (int bnd = 0; bnd < ab.ncplbnd; ++bnd) {
      ab.cplcoexp[ch][bnd] = take(4);
      ab.cplcomant[ch][bnd] = take(4);
    }
  }
  if (b.acmod == 2 && ab.phsflginu && (ab.cplcoe[0] || ab.cplcoe[1])) {
    for (int bnd = 0; bnd < ab.ncplbnd; ++bnd) ab.phsflg[bnd] = take(1);
  }
}

int rematrix_band_count(const audblk& ab) {
  if (!ab.cplinu || ab.cplbegf > 2) return 4;
  return ab.cplbegf > 0 ? 3 : 2;
}

// Group size in bins for an exponent strategy 1..3 (D15, D25, D45).
int group_bins(int expstr) { return 3 << (expstr - 1); }

// Channel bandwidths and group counts; false when a bandwidth code is out of range.
bool read_channel_bandwidths(const bsi& b, audblk& ab) {
  for (int ch = 0; ch < b.nfchans; ++ch) {
    if (ab.chexpstr[ch] == 0) continue;
    int endmant;
    if (ab.cplinu && ab.chincpl[ch]) {
      endmant = ab.cplstrtmant;
    } else {
      ab.chbwcod[ch] = take(6);
      if (ab.chbwcod[ch] > kMaxChbwcod) {
        sanity_check_failed("chbwcod too big");
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

void read_exponents(const bsi& b, audblk& ab) {
  if (ab.cplinu && ab.cplexpstr != 0) {
    ab.cplabsexp = take(4);
    for (int grp = 0; grp < ab.ncplgrps; ++grp) ab.cplexps[grp] = take(7);
  }
  for (int ch = 0; ch < b.nfchans; ++ch) {
    if (ab.chexpstr[ch] == 0) continue;
    ab.exps[ch][0] = take(4);
    for (int grp = 1; grp <= ab.nchgrps[ch]; ++grp) ab.exps[ch][grp] = take(7);
    ab.gainrng[ch] = take(2);
  }
  if (b.lfeon && ab.lfeexpstr) {
    ab.lfeexps[0] = take(4);
    ab.lfeexps[1] = take(7);
    ab.lfeexps[2] = take(7);
  }
}

void read_allocation_parameters(const bsi& b, audblk& ab) {
  ab.baie = take(1);
  if (ab.baie) {
    ab.sdcycod = take(2);
    ab.fdcycod = take(2);
    ab.sgaincod = take(2);
    ab.dbpbcod = take(2);
    ab.floorcod = take(3);
  }
  ab.snroffste = take(1);
  if (ab.snroffste) {
    ab.csnroffst = take(6);
    if (ab.cplinu) {
      ab.cplfsnroffst = take(4);
      ab.cplfgaincod = take(3);
    }
    for (int ch = 0; ch < b.nfchans; ++ch) {
      ab.fsnroffst[ch] = take(4);
      ab.fgaincod[ch] = take(3);
    }
    if (b.lfeon) {
      ab.lfefsnroffst = take(4);
      ab.lfefgaincod = take(3);
    }
  }
  if (ab.cplinu) {
    ab.cplleake = take(1);
    if (ab.cplleake) {
      ab.cplfleak = take(3);
      ab.cplsleak = take(3);
    }
  }
}

// deltnseg is 3 bits, so at most 8 segments: always within the segment arrays.
void read_delta_segments(uint16_t& nseg, uint16_t* offst, uint16_t* len, uint16_t* ba) {
  nseg = take(3);
  for (int seg = 0; seg <= nseg; ++seg) {
    offst[seg] = take(5);
    len[seg] = take(4);
    ba[seg] = take(3);
  }
}

void read_delta_allocation(const bsi& b, audblk& ab) {
  ab.deltbaie = take(1);
  if (!ab.deltbaie) return;
  if (ab.cplinu) ab.cpldeltbae = take(2);
  for (int ch = 0; ch < b.nfchans; ++ch) ab.deltbae[ch] = take(2);
  if (ab.cplinu && ab.cpldeltbae == 1) {
    read_delta_segments(ab.cpldeltnseg, ab.cpldeltoffst, ab.cpldeltlen, ab.cpldeltba);
  }
  for (int ch = 0; ch < b.nfchans; ++ch) {
    if (ab.deltbae[ch] != 1) continue;
    read_delta_segments(ab.deltnseg[ch], ab.deltoffst[ch], ab.deltlen[ch], ab.deltba[ch]);
  }
}

}  // namespace

void read_audblk(const bsi& b, audblk& ab) {
  for (int ch = 0; ch < b.nfchans; ++ch) ab.blksw[ch] = take(1);
  for (int ch = 0; ch < b.nfchans; ++ch) ab.dithflag[ch] = take(1);

  ab.dynrnge = take(1);
  if (ab.dynrnge) ab.dynrng = take(8);
  if (b.acmod == 0) {
    ab.dynrng2e = take(1);
    if (ab.dynrng2e) ab.dynrng2 = take(8);
  }

  ab.cplstre = take(1);
  if (ab.cplstre) {
    read_coupling_strategy(b, ab);
    if (error_flag) return;
  }
  if (ab.cplinu) read_coupling_coordinates(b, ab);

  if (b.acmod == 2) {
    ab.rematstr = take(1);
    if (ab.rematstr) {
      const int bands = rematrix_band_count(ab);
      for (int rbnd = 0; rbnd < bands; ++rbnd) ab.rematflg[rbnd] = take(1);
    }
  }

  if (ab.cplinu) {
    ab.cplexpstr = take(2);
    if (ab.cplexpstr != 0) {
      ab.ncplgrps = static_cast<uint16_t>((ab.cplendmant - ab.cplstrtmant) / group_bins(ab.cplexpstr));
    }
  }
  for (int ch = 0; ch < b.nfchans; ++ch) ab.chexpstr[ch] = take(2);
  if (b.lfeon) ab.lfeexpstr = take(1);
  if (!read_channel_bandwidths(b, ab)) {
    error_flag = 1;
    return;
  }

  read_exponents(b, ab);
  read_allocation_parameters(b, ab);
  read_delta_allocation(b, ab);

  ab.skiple = take(1);
  if (ab.skiple) {
    ab.skipl = take(9);
    for (int i = 0; i < ab.skipl; ++i) bits_take(8);
  }
}

}  // namespace ac3

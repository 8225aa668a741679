// Exponents: every set a block sends new, for the full-bandwidth, coupling and LFE channels.
#include "ac3/exponents.h"

#include "ac3/stages.h"
#include "diagnostics.h"

namespace ac3 {

namespace {

bool invalid_exponent(decoder& d) {
  if (!d.error_flag) qelp::diag_err("** Invalid exponent - skipping frame **\n");
  d.error_flag = 1;
  return false;
}

}  // namespace

bool expand_exponent_set(decoder& d, exponent_kind kind, int strategy, int groups, int absolute,
                         const uint16_t* grps, uint16_t* target, int capacity) {
  if (strategy == 0) return true;
  const int repeat = 1 << (strategy - 1);   // each value stands for 1, 2 or 4 bins
  int bin = 0;
  if (kind != exponent_kind::coupling) {
    if (capacity < 1) return invalid_exponent(d);
    target[bin++] = static_cast<uint16_t>(absolute);
  }
  int e = absolute;
  for (int grp = 0; grp < groups; ++grp) {
    const int g = grps[grp];
    if (g > 124) return invalid_exponent(d);
    const int deltas[3] = {g / 25 - 2, (g % 25) / 5 - 2, g % 5 - 2};
    for (int delta : deltas) {
      e += delta;
      if (e < 0 || e > kMaxExponent || bin + repeat > capacity) return invalid_exponent(d);
      for (int r = 0; r < repeat; ++r) target[bin++] = static_cast<uint16_t>(e);
    }
  }
  return true;
}

void expand_exponents(decoder& d) {
  const bsi& b = d.bsi;
  audblk& ab = d.audblk;
  // A block already found bad while it was parsed has nothing trustworthy to expand.
  if (d.error_flag) return;
  for (int ch = 0; ch < b.nfchans; ++ch) {
    if (!expand_exponent_set(d, exponent_kind::full_bandwidth, ab.chexpstr[ch], ab.nchgrps[ch],
                             ab.exps[ch][0], &ab.exps[ch][1], ab.fbw_exp[ch], kBins)) {
      return;
    }
  }
  if (ab.cplinu) {
    if (!expand_exponent_set(d, exponent_kind::coupling, ab.cplexpstr, ab.ncplgrps, 2 * ab.cplabsexp,
                             ab.cplexps, ab.cpl_exp + ab.cplstrtmant, kBins - ab.cplstrtmant)) {
      return;
    }
  }
  if (b.lfeon) {
    expand_exponent_set(d, exponent_kind::lfe, ab.lfeexpstr, 2, ab.lfeexps[0], &ab.lfeexps[1], ab.lfe_exp,
                        kLfeBins);
  }
}

}  // namespace ac3

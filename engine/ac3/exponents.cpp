// Exponents: every set a block sends new, for the full-bandwidth, coupling and LFE channels.
#include "ac3/exponents.h"

#include <array>

#include "ac3/stages.h"
#include "diagnostics.h"

namespace ac3 {

namespace {

bool invalid_exponent(decoder& d) {
  if (!d.error_flag) qelp::diag_err("** Invalid exponent - skipping frame **\n");
  d.error_flag = 1;
  return false;
}

// The three deltas (-2..2) that a group code below 125 carries, most significant first.
constexpr std::array<std::array<int8_t, 3>, 125> make_group_deltas() {
  std::array<std::array<int8_t, 3>, 125> deltas{};
  for (int g = 0; g < 125; ++g) {
    deltas[static_cast<std::size_t>(g)] = {static_cast<int8_t>(g / 25 - 2), static_cast<int8_t>((g % 25) / 5 - 2),
                                           static_cast<int8_t>(g % 5 - 2)};
  }
  return deltas;
}
constexpr std::array<std::array<int8_t, 3>, 125> kGroupDeltas = make_group_deltas();
static_assert(kGroupDeltas[0][0] == -2 && kGroupDeltas[62][1] == 0 && kGroupDeltas[124][2] == 2);

// The groups from grp on while they are valid, each value stored Repeat times at target + bin; the
// caller has checked that all groups fit. Stops before a group with a code above 124 or an
// exponent outside 0..24, leaving grp, bin and e there.
template <int Repeat>
void expand_valid_groups(const uint16_t* grps, int groups, uint16_t* target, int& grp, int& bin, int& e) {
  for (; grp < groups; ++grp) {
    const unsigned g = grps[grp];
    if (g > 124) return;
    const std::array<int8_t, 3>& delta = kGroupDeltas[g];
    const int e1 = e + delta[0], e2 = e1 + delta[1], e3 = e2 + delta[2];
    if (static_cast<unsigned>(e1) > kMaxExponent || static_cast<unsigned>(e2) > kMaxExponent ||
        static_cast<unsigned>(e3) > kMaxExponent) {
      return;
    }
    uint16_t* out = target + bin;
    for (int r = 0; r < Repeat; ++r) {
      out[r] = static_cast<uint16_t>(e1);
      out[Repeat + r] = static_cast<uint16_t>(e2);
      out[2 * Repeat + r] = static_cast<uint16_t>(e3);
    }
    bin += 3 * Repeat;
    e = e3;
  }
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
  int grp = 0;
  // Groups that fit the target and hold valid codes and exponents take the fast way; the first
  // one that does not, and all after it, go through the checks one value at a time.
  if (groups >= 0 && bin + 3 * repeat * groups <= capacity) {
    if (repeat == 1) expand_valid_groups<1>(grps, groups, target, grp, bin, e);
    if (repeat == 2) expand_valid_groups<2>(grps, groups, target, grp, bin, e);
    if (repeat == 4) expand_valid_groups<4>(grps, groups, target, grp, bin, e);
  }
  for (; grp < groups; ++grp) {
    const int g = grps[grp];
    if (g > 124) return invalid_exponent(d);
    for (const int delta : kGroupDeltas[static_cast<std::size_t>(g)]) {
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

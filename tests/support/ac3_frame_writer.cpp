#include "support/ac3_frame_writer.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <stdexcept>

#include "support/ac3_bit_allocation.h"
#include "support/ac3_bit_writer.h"

namespace ac3test {

namespace {

constexpr int kNfchans[8] = {2, 1, 2, 3, 3, 4, 4, 5};
constexpr int kKbps[19] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 576, 640};
constexpr int kMantissaWidth[16] = {0, 0, 0, 3, 0, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 16};
constexpr int kExpGroupEntries = static_cast<int>(sizeof(ac3::audblk{}.exps[0]) / sizeof(uint16_t));

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error("frame writer: " + what); }

// The exponent that puts |v| into [0.5, 1) as a mantissa, within 0..24; 24 for silence.
int exponent_for(float v) {
  const double a = std::fabs(static_cast<double>(v));
  if (a <= 0.0) return 24;
  int e = static_cast<int>(std::floor(-std::log2(a)));
  return std::clamp(e, 0, 24);
}

// Mantissa codes of one block in stream order. Grouped codes take their slot when their first
// value arrives; values that follow fill the open group, even in a later channel.
class mantissa_stream {
 public:
  // Codes the value and returns what a decoder makes of it: a fraction of full scale, in float.
  float add(int bap, double fraction) {
    ++count[bap];
    switch (bap) {
      case 1: return level(3, grouped(g1_, 3, 3, 5, fraction));
      case 2: return level(5, grouped(g2_, 5, 3, 7, fraction));
      case 3: {
        const int k = symmetric(7, fraction);
        push(static_cast<uint32_t>(k), 3, bap);
        return level(7, k);
      }
      case 4: return level(11, grouped(g4_, 11, 2, 7, fraction));
      case 5: {
        const int k = symmetric(15, fraction);
        push(static_cast<uint32_t>(k), 4, bap);
        return level(15, k);
      }
      default: {
        const int w = kMantissaWidth[bap];
        const double full = std::ldexp(1.0, w - 1);
        const long q = std::clamp(std::lround(fraction * full), static_cast<long>(-full), static_cast<long>(full) - 1);
        push(static_cast<uint32_t>(q) & ((1u << w) - 1u), w, bap);
        return static_cast<float>(q) / static_cast<float>(full);
      }
    }
  }

  // Level k of an L-level symmetric quantizer: the fraction (2k - (L - 1)) / L, rounded to float.
  static float level(int levels, int k) { return static_cast<float>(static_cast<double>(2 * k - (levels - 1)) / levels); }

  // Closes open groups with zero-valued digits.
  void finish() {
    close(g1_, 3, 3);
    close(g2_, 5, 3);
    close(g4_, 11, 2);
  }

  // Replaces the first code of bap; false when the block has none.
  bool override_first(int bap, uint32_t code) {
    for (item& it : items_) {
      if (it.bap == bap) {
        it.value = code;
        return true;
      }
    }
    return false;
  }

  void write(bit_writer& bw) const {
    for (const item& it : items_) bw.put(it.value, it.width);
  }

  // Starts the values of another channel (or the coupling or LFE channel).
  void next_channel() { ++channel_; }

  int count[16] = {};
  int spanning[16] = {};  // groups whose values came from two channels, by bap

 private:
  struct item {
    uint32_t value;
    int width;
    int bap;
  };
  struct group {
    int slot = -1;
    int n = 0;
    int digits[3] = {};
    int channel = 0;
  };

  static int symmetric(int levels, double fraction) {
    const long k = std::lround((fraction * levels + (levels - 1)) / 2.0);
    return static_cast<int>(std::clamp(k, 0L, static_cast<long>(levels - 1)));
  }

  void push(uint32_t value, int width, int bap) { items_.push_back({value, width, bap}); }

  int grouped(group& g, int levels, int per_group, int width, double fraction) {
    if (g.slot < 0) {
      g.slot = static_cast<int>(items_.size());
      g.n = 0;
      g.channel = channel_;
      push(0, width, levels == 3 ? 1 : levels == 5 ? 2 : 4);
    } else if (g.channel != channel_) {
      ++spanning[levels == 3 ? 1 : levels == 5 ? 2 : 4];
      g.channel = channel_;
    }
    const int k = symmetric(levels, fraction);
    g.digits[g.n++] = k;
    if (g.n == per_group) close(g, levels, per_group);
    return k;
  }

  void close(group& g, int levels, int per_group) {
    if (g.slot < 0) return;
    for (int i = g.n; i < per_group; ++i) g.digits[i] = (levels - 1) / 2;
    uint32_t code = 0;
    for (int i = 0; i < per_group; ++i) code = code * static_cast<uint32_t>(levels) + static_cast<uint32_t>(g.digits[i]);
    items_[static_cast<size_t>(g.slot)].value = code;
    g.slot = -1;
    g.n = 0;
  }

  std::vector<item> items_;
  group g1_, g2_, g4_;
  int channel_ = 0;
};

// Differentially coded exponents: E[0] the absolute (or reference) value, E[1..] one exponent per
// coded position. Lowers exponents where needed so that neighbours differ by at most 2.
void limit_exponents(std::vector<int>& e, int abs_max, bool abs_even) {
  for (size_t k = e.size() - 1; k > 0; --k) e[k - 1] = std::min(e[k - 1], e[k] + 2);
  e[0] = std::min(e[0], abs_max);
  if (abs_even) e[0] &= ~1;
  for (size_t k = 1; k < e.size(); ++k) e[k] = std::min(e[k], e[k - 1] + 2);
}

std::vector<uint16_t> exponent_group_codes(const std::vector<int>& e, bool abs_halved) {
  std::vector<uint16_t> codes;
  codes.push_back(static_cast<uint16_t>(abs_halved ? e[0] / 2 : e[0]));
  for (size_t k = 1; k < e.size(); k += 3) {
    const int d1 = e[k] - e[k - 1] + 2;
    const int d2 = e[k + 1] - e[k] + 2;
    const int d3 = e[k + 2] - e[k + 1] + 2;
    codes.push_back(static_cast<uint16_t>(25 * d1 + 5 * d2 + d3));
  }
  return codes;
}

// The exponents of one set: positions cover `per` bins each, beginning at first_bin (position 1
// onwards; position 0 is bin first_bin itself for a set with an absolute exponent). Positions past
// limit repeat the last real exponent.
std::vector<int> derive_exponents(const float* signal, int first_bin, int limit, int groups, int per,
                                  bool has_abs_bin) {
  std::vector<int> e(static_cast<size_t>(1 + 3 * groups), 24);
  int bin = first_bin;
  if (has_abs_bin) {
    e[0] = exponent_for(signal[bin]);
    ++bin;
  }
  for (int k = 1; k <= 3 * groups; ++k) {
    int target = 24;
    bool real = false;
    for (int j = 0; j < per; ++j, ++bin) {
      if (bin < limit) {
        target = std::min(target, exponent_for(signal[bin]));
        real = true;
      }
    }
    e[static_cast<size_t>(k)] = real ? target : e[static_cast<size_t>(k - 1)];
  }
  if (!has_abs_bin) e[0] = std::min(e.size() > 1 ? e[1] : 24, 30);
  return e;
}

// Where a set's exponents go, bin by bin, as a decoder expands them.
void expand_into(const std::vector<int>& e, int first_bin, int per, bool has_abs_bin, uint16_t* target, int size) {
  int bin = first_bin;
  if (has_abs_bin && bin < size) target[bin++] = static_cast<uint16_t>(e[0]);
  for (size_t k = 1; k < e.size(); ++k) {
    for (int j = 0; j < per; ++j, ++bin) {
      if (bin < size) target[bin] = static_cast<uint16_t>(e[k]);
    }
  }
}

// Returns how many overrides were applied.
int apply_overrides(std::vector<uint16_t>& codes, const frame_plan& plan, int block, int channel) {
  int applied = 0;
  for (const exponent_group_override& o : plan.exponent_overrides) {
    if (o.block != block || o.channel != channel) continue;
    const size_t at = static_cast<size_t>(o.group) + 1;
    if (at >= codes.size()) throw std::invalid_argument("frame writer: exponent override beyond the groups sent");
    codes[at] = static_cast<uint16_t>(o.value);
    ++applied;
  }
  return applied;
}

void write_bsi(bit_writer& bw, const ac3::bsi& b) {
  bw.put(b.bsid, 5);
  bw.put(b.bsmod, 3);
  bw.put(b.acmod, 3);
  if ((b.acmod & 1) && b.acmod != 1) bw.put(b.cmixlev, 2);
  if (b.acmod & 4) bw.put(b.surmixlev, 2);
  if (b.acmod == 2) bw.put(b.dsurmod, 2);
  bw.put(b.lfeon, 1);
  bw.put(b.dialnorm, 5);
  bw.put(b.compre, 1);
  if (b.compre) bw.put(b.compr, 8);
  bw.put(b.langcode, 1);
  if (b.langcode) bw.put(b.langcod, 8);
  bw.put(b.audprodie, 1);
  if (b.audprodie) {
    bw.put(b.mixlevel, 5);
    bw.put(b.roomtyp, 2);
  }
  if (b.acmod == 0) {
    bw.put(b.dialnorm2, 5);
    bw.put(b.compr2e, 1);
    if (b.compr2e) bw.put(b.compr2, 8);
    bw.put(b.langcod2e, 1);
    if (b.langcod2e) bw.put(b.langcod2, 8);
    bw.put(b.audprodi2e, 1);
    if (b.audprodi2e) {
      bw.put(b.mixlevel2, 5);
      bw.put(b.roomtyp2, 2);
    }
  }
  bw.put(b.copyrightb, 1);
  bw.put(b.origbs, 1);
  bw.put(b.timecod1e, 1);
  if (b.timecod1e) bw.put(b.timecod1, 14);
  bw.put(b.timecod2e, 1);
  if (b.timecod2e) bw.put(b.timecod2, 14);
  bw.put(b.addbsie, 1);
  if (b.addbsie) {
    bw.put(b.addbsil, 6);
    for (int i = 0; i <= b.addbsil; ++i) bw.put(b.addbsi[i], 8);
  }
}

int remat_bands(const ac3::audblk& st) {
  if (!st.cplinu || st.cplbegf > 2) return 4;
  return st.cplbegf == 0 ? 2 : 3;
}

delta_allocation delta_of(uint16_t mode, uint16_t nseg, const uint16_t* offst, const uint16_t* len, const uint16_t* ba) {
  delta_allocation d;
  d.mode = mode;
  d.nseg = nseg;
  for (int s = 0; s < 8; ++s) {
    d.offst[s] = offst[s];
    d.len[s] = len[s];
    d.ba[s] = ba[s];
  }
  return d;
}

// The whole audio block: side information, exponents, allocation, mantissas.
class block_writer {
 public:
  block_writer(bit_writer& bw, const frame_plan& plan, const ac3::bsi& b, int blk, ac3::audblk& st, written_frame& out)
      : bw_(bw), plan_(plan), b_(b), blk_(blk), sb_(plan.blocks[blk]), st_(st), out_(out) {}

  void run() {
    side_information();
    out_.mantissas_begin[blk_] = bw_.position() - 40;
    allocation();
    mantissas();
    out_.mantissas_end[blk_] = bw_.position() - 40;
  }

 private:
  void put(uint16_t& dst, uint16_t value, int width) {
    bw_.put(value, width);
    dst = value;
  }

  void side_information() {
    const int nf = b_.nfchans;
    for (int ch = 0; ch < nf; ++ch) put(st_.blksw[ch], sb_.blksw[ch], 1);
    for (int ch = 0; ch < nf; ++ch) put(st_.dithflag[ch], sb_.dithflag[ch], 1);
    put(st_.dynrnge, sb_.dynrnge, 1);
    if (st_.dynrnge) put(st_.dynrng, sb_.dynrng, 8);
    if (b_.acmod == 0) {
      put(st_.dynrng2e, sb_.dynrng2e, 1);
      if (st_.dynrng2e) put(st_.dynrng2, sb_.dynrng2, 8);
    }

    put(st_.cplstre, sb_.cplstre, 1);
    if (st_.cplstre) {
      put(st_.cplinu, sb_.cplinu, 1);
      if (st_.cplinu) {
        for (int ch = 0; ch < nf; ++ch) put(st_.chincpl[ch], sb_.chincpl[ch], 1);
        if (b_.acmod == 2) put(st_.phsflginu, sb_.phsflginu, 1);
        put(st_.cplbegf, sb_.cplbegf, 4);
        put(st_.cplendf, sb_.cplendf, 4);
        if (st_.cplbegf > st_.cplendf + 2) fail("cplbegf beyond cplendf + 2");
        st_.cplstrtmant = static_cast<uint16_t>(12 * st_.cplbegf + 37);
        st_.cplendmant = static_cast<uint16_t>(12 * st_.cplendf + 73);
        st_.ncplsubnd = static_cast<uint16_t>(st_.cplendf - st_.cplbegf + 3);
        st_.ncplbnd = st_.ncplsubnd;
        for (int s = 1; s < st_.ncplsubnd; ++s) {
          put(st_.cplbndstrc[s], sb_.cplbndstrc[s], 1);
          st_.ncplbnd = static_cast<uint16_t>(st_.ncplbnd - st_.cplbndstrc[s]);
        }
      }
    }
    if (st_.cplinu) {
      for (int ch = 0; ch < nf; ++ch) {
        if (!st_.chincpl[ch]) continue;
        put(st_.cplcoe[ch], sb_.cplcoe[ch], 1);
        if (!st_.cplcoe[ch]) continue;
        put(st_.mstrcplco[ch], sb_.mstrcplco[ch], 2);
        for (int bnd = 0; bnd < st_.ncplbnd; ++bnd) {
          put(st_.cplcoexp[ch][bnd], sb_.cplcoexp[ch][bnd], 4);
          put(st_.cplcomant[ch][bnd], sb_.cplcomant[ch][bnd], 4);
        }
      }
      if (b_.acmod == 2 && st_.phsflginu && (st_.cplcoe[0] || st_.cplcoe[1])) {
        for (int bnd = 0; bnd < st_.ncplbnd; ++bnd) put(st_.phsflg[bnd], sb_.phsflg[bnd], 1);
      }
    }
    if (b_.acmod == 2) {
      put(st_.rematstr, sb_.rematstr, 1);
      if (st_.rematstr) {
        const int n = remat_bands(st_);
        for (int r = 0; r < n; ++r) put(st_.rematflg[r], sb_.rematflg[r], 1);
      }
    }
    if (st_.cplinu) {
      put(st_.cplexpstr, sb_.cplexpstr, 2);
      if (st_.cplexpstr) {
        st_.ncplgrps = static_cast<uint16_t>((st_.cplendmant - st_.cplstrtmant) / (3 << (st_.cplexpstr - 1)));
      }
    }
    for (int ch = 0; ch < nf; ++ch) put(st_.chexpstr[ch], sb_.chexpstr[ch], 2);
    if (b_.lfeon) put(st_.lfeexpstr, sb_.lfeexpstr, 1);
    for (int ch = 0; ch < nf; ++ch) {
      if (!st_.chexpstr[ch]) continue;
      if (st_.cplinu && st_.chincpl[ch]) {
        st_.endmant[ch] = st_.cplstrtmant;
      } else {
        put(st_.chbwcod[ch], sb_.chbwcod[ch], 6);
        st_.endmant[ch] = static_cast<uint16_t>(3 * st_.chbwcod[ch] + 73);
      }
      const int g = 3 << (st_.chexpstr[ch] - 1);
      st_.nchgrps[ch] = static_cast<uint16_t>((st_.endmant[ch] + g - 4) / g);
    }

    exponents();

    put(st_.baie, sb_.baie, 1);
    if (st_.baie) {
      put(st_.sdcycod, sb_.sdcycod, 2);
      put(st_.fdcycod, sb_.fdcycod, 2);
      put(st_.sgaincod, sb_.sgaincod, 2);
      put(st_.dbpbcod, sb_.dbpbcod, 2);
      put(st_.floorcod, sb_.floorcod, 3);
    }
    put(st_.snroffste, sb_.snroffste, 1);
    if (st_.snroffste) {
      put(st_.csnroffst, sb_.csnroffst, 6);
      if (st_.cplinu) {
        put(st_.cplfsnroffst, sb_.cplfsnroffst, 4);
        put(st_.cplfgaincod, sb_.cplfgaincod, 3);
      }
      for (int ch = 0; ch < nf; ++ch) {
        put(st_.fsnroffst[ch], sb_.fsnroffst[ch], 4);
        put(st_.fgaincod[ch], sb_.fgaincod[ch], 3);
      }
      if (b_.lfeon) {
        put(st_.lfefsnroffst, sb_.lfefsnroffst, 4);
        put(st_.lfefgaincod, sb_.lfefgaincod, 3);
      }
    }
    if (st_.cplinu) {
      put(st_.cplleake, sb_.cplleake, 1);
      if (st_.cplleake) {
        put(st_.cplfleak, sb_.cplfleak, 3);
        put(st_.cplsleak, sb_.cplsleak, 3);
      }
    }
    put(st_.deltbaie, sb_.deltbaie, 1);
    if (st_.deltbaie) {
      if (st_.cplinu) put(st_.cpldeltbae, sb_.cpldeltbae, 2);
      for (int ch = 0; ch < nf; ++ch) put(st_.deltbae[ch], sb_.deltbae[ch], 2);
      if (st_.cplinu && st_.cpldeltbae == 1) {
        put(st_.cpldeltnseg, sb_.cpldeltnseg, 3);
        for (int s = 0; s <= st_.cpldeltnseg; ++s) {
          put(st_.cpldeltoffst[s], sb_.cpldeltoffst[s], 5);
          put(st_.cpldeltlen[s], sb_.cpldeltlen[s], 4);
          put(st_.cpldeltba[s], sb_.cpldeltba[s], 3);
        }
      }
      for (int ch = 0; ch < nf; ++ch) {
        if (st_.deltbae[ch] != 1) continue;
        put(st_.deltnseg[ch], sb_.deltnseg[ch], 3);
        for (int s = 0; s <= st_.deltnseg[ch]; ++s) {
          put(st_.deltoffst[ch][s], sb_.deltoffst[ch][s], 5);
          put(st_.deltlen[ch][s], sb_.deltlen[ch][s], 4);
          put(st_.deltba[ch][s], sb_.deltba[ch][s], 3);
        }
      }
    }
    put(st_.skiple, sb_.skiple, 1);
    if (st_.skiple) {
      put(st_.skipl, sb_.skipl, 9);
      for (int i = 0; i < st_.skipl; ++i) bw_.put(static_cast<uint32_t>((i * 37 + 11) & 0xff), 8);
    }
  }

  // Derives, limits, writes and expands every exponent set the block sends.
  void exponents() {
    const int nf = b_.nfchans;
    if (st_.cplinu && st_.cplexpstr) {
      const int per = 1 << (st_.cplexpstr - 1);
      std::vector<int> e = derive_exponents(plan_.cpl[blk_], st_.cplstrtmant, st_.cplendmant, st_.ncplgrps, per, false);
      limit_exponents(e, 30, true);
      std::vector<uint16_t> codes = exponent_group_codes(e, true);
      overrides_applied_ += apply_overrides(codes, plan_, blk_, exponent_group_override::kCpl);
      put(st_.cplabsexp, codes[0], 4);
      for (size_t g = 1; g < codes.size(); ++g) {
        bw_.put(codes[g], 7);
        if (g - 1 < std::size(st_.cplexps)) st_.cplexps[g - 1] = codes[g];
      }
      expand_into(e, st_.cplstrtmant, per, false, st_.cpl_exp, ac3::kBins);
      out_.exponent_groups[blk_][5] = codes;
    }
    for (int ch = 0; ch < nf; ++ch) {
      if (!st_.chexpstr[ch]) continue;
      const int per = 1 << (st_.chexpstr[ch] - 1);
      std::vector<int> e = derive_exponents(plan_.fbw[blk_][ch], 0, std::min<int>(st_.endmant[ch], ac3::kBins),
                                            st_.nchgrps[ch], per, true);
      limit_exponents(e, 15, false);
      std::vector<uint16_t> codes = exponent_group_codes(e, false);
      overrides_applied_ += apply_overrides(codes, plan_, blk_, ch);
      for (size_t g = 0; g < codes.size(); ++g) {
        bw_.put(codes[g], g == 0 ? 4 : 7);
        if (g < static_cast<size_t>(kExpGroupEntries)) st_.exps[ch][g] = codes[g];
      }
      put(st_.gainrng[ch], sb_.gainrng[ch], 2);
      expand_into(e, 0, per, true, st_.fbw_exp[ch], ac3::kBins);
      out_.exponent_groups[blk_][ch] = codes;
    }
    if (b_.lfeon && st_.lfeexpstr) {
      std::vector<int> e = derive_exponents(plan_.lfe[blk_], 0, ac3::kLfeBins, 2, 1, true);
      limit_exponents(e, 15, false);
      std::vector<uint16_t> codes = exponent_group_codes(e, false);
      overrides_applied_ += apply_overrides(codes, plan_, blk_, exponent_group_override::kLfe);
      for (size_t g = 0; g < 3; ++g) {
        bw_.put(codes[g], g == 0 ? 4 : 7);
        st_.lfeexps[g] = codes[g];
      }
      expand_into(e, 0, 1, true, st_.lfe_exp, ac3::kLfeBins);
      out_.exponent_groups[blk_][6] = codes;
    }
  }

  allocation_input common() const {
    allocation_input in;
    in.fscod = plan_.fscod;
    in.sdcycod = st_.sdcycod;
    in.fdcycod = st_.fdcycod;
    in.sgaincod = st_.sgaincod;
    in.dbpbcod = st_.dbpbcod;
    in.floorcod = st_.floorcod;
    return in;
  }

  // Recomputes the baps exactly when a decoder does.
  void allocation() {
    // New coupling leak values count as new allocation data too.
    bool reuse = st_.cplexpstr == 0 && st_.lfeexpstr == 0 && !st_.baie && !st_.snroffste && !st_.deltbaie &&
                 !(st_.cplinu && st_.cplleake);
    for (int ch = 0; ch < ac3::kMaxFbwChannels; ++ch) reuse = reuse && st_.chexpstr[ch] == 0;
    if (reuse) return;
    bool all_zero = st_.csnroffst == 0 && st_.cplfsnroffst == 0 && st_.lfefsnroffst == 0;
    for (int ch = 0; ch < ac3::kMaxFbwChannels; ++ch) all_zero = all_zero && st_.fsnroffst[ch] == 0;
    if (all_zero) {
      std::fill(&st_.fbw_bap[0][0], &st_.fbw_bap[0][0] + 5 * ac3::kBins, uint16_t{0});
      std::fill(st_.cpl_bap, st_.cpl_bap + ac3::kBins, uint16_t{0});
      std::fill(st_.lfe_bap, st_.lfe_bap + ac3::kLfeBins, uint16_t{0});
      return;
    }
    for (int ch = 0; ch < b_.nfchans; ++ch) {
      allocation_input in = common();
      in.start = 0;
      in.end = std::min<int>(st_.endmant[ch], 253);
      in.exps = st_.fbw_exp[ch];
      in.fgaincod = st_.fgaincod[ch];
      in.snroffset = 64 * st_.csnroffst + 4 * st_.fsnroffst[ch] - 960;
      const delta_allocation d = delta_of(st_.deltbae[ch], st_.deltnseg[ch], st_.deltoffst[ch], st_.deltlen[ch], st_.deltba[ch]);
      in.delta = &d;
      compute_baps(in, st_.fbw_bap[ch]);
    }
    if (st_.cplinu) {
      allocation_input in = common();
      in.start = st_.cplstrtmant;
      in.end = st_.cplendmant;
      in.exps = st_.cpl_exp;
      in.fgaincod = st_.cplfgaincod;
      in.fastleak = 256 * st_.cplfleak + 768;
      in.slowleak = 256 * st_.cplsleak + 768;
      in.snroffset = 64 * st_.csnroffst + 4 * st_.cplfsnroffst - 960;
      const delta_allocation d = delta_of(st_.cpldeltbae, st_.cpldeltnseg, st_.cpldeltoffst, st_.cpldeltlen, st_.cpldeltba);
      in.delta = &d;
      compute_baps(in, st_.cpl_bap);
    }
    if (b_.lfeon) {
      allocation_input in = common();
      in.start = 0;
      in.end = ac3::kLfeBins;
      in.exps = st_.lfe_exp;
      in.fgaincod = st_.lfefgaincod;
      in.lfe_rule = true;
      in.snroffset = 64 * st_.csnroffst + 4 * st_.lfefsnroffst - 960;
      compute_baps(in, st_.lfe_bap);
    }
  }

  static float scale(int exponent) { return std::ldexp(1.0f, -(15 + exponent)); }
  static float exponent_factor(int exponent) { return std::ldexp(1.0f, -exponent); }

  void mantissas() {
    mantissa_stream ms;
    bool cpl_done = false;
    coefficient_block& coeffs = out_.coefficients[blk_];
    for (auto& slot : coeffs) std::fill(std::begin(slot), std::end(slot), 0.0f);
    const float dithered = std::numeric_limits<float>::quiet_NaN();
    float cplmant[ac3::kBins] = {};
    for (int ch = 0; ch < b_.nfchans; ++ch) {
      ms.next_channel();
      const int end = std::min<int>(st_.endmant[ch], 253);
      for (int bin = 0; bin < end; ++bin) {
        const int bap = st_.fbw_bap[ch][bin];
        const int e = st_.fbw_exp[ch][bin];
        if (bap) {
          const float m = ms.add(bap, std::ldexp(static_cast<double>(plan_.fbw[blk_][ch][bin]), e));
          coeffs[ch][bin] = m * exponent_factor(e);
        } else if (st_.dithflag[ch]) {
          coeffs[ch][bin] = dithered;
        }
      }
      if (st_.cplinu && st_.chincpl[ch] && !cpl_done) {
        cpl_done = true;
        ms.next_channel();
        for (int bin = st_.cplstrtmant; bin < st_.cplendmant; ++bin) {
          const int bap = st_.cpl_bap[bin];
          if (bap) {
            cplmant[bin] = ms.add(bap, std::ldexp(static_cast<double>(plan_.cpl[blk_][bin]), st_.cpl_exp[bin]));
          }
        }
      }
    }
    if (st_.cplinu) {
      for (int ch = 0; ch < b_.nfchans; ++ch) {
        if (!st_.chincpl[ch]) continue;
        int bnd = -1;
        float c = 0.0f;
        for (int s = 0; s < st_.ncplsubnd; ++s) {
          if (s == 0 || !st_.cplbndstrc[s]) {
            ++bnd;
            const int x = st_.cplcoexp[ch][bnd] + 3 * st_.mstrcplco[ch];
            const int value = st_.cplcoexp[ch][bnd] == 15 ? st_.cplcomant[ch][bnd] * 2048 : (st_.cplcomant[ch][bnd] + 16) * 1024;
            c = static_cast<float>(value) * scale(x) * 8.0f;
            if (b_.acmod == 2 && st_.phsflginu && ch == 1 && st_.phsflg[bnd]) c = -c;
          }
          for (int k = 0; k < 12; ++k) {
            const int bin = st_.cplstrtmant + 12 * s + k;
            if (st_.cpl_bap[bin] == 0 && st_.dithflag[ch]) {
              coeffs[ch][bin] = dithered;
            } else {
              coeffs[ch][bin] = cplmant[bin] * exponent_factor(st_.cpl_exp[bin]) * c;
            }
          }
        }
      }
    }
    if (b_.lfeon) {
      ms.next_channel();
      for (int bin = 0; bin < ac3::kLfeBins; ++bin) {
        const int bap = st_.lfe_bap[bin];
        if (bap) {
          const float m = ms.add(bap, std::ldexp(static_cast<double>(plan_.lfe[blk_][bin]), st_.lfe_exp[bin]));
          coeffs[ac3::kLfeSlot][bin] = m * exponent_factor(st_.lfe_exp[bin]);
        }
      }
    }
    ms.finish();
    for (const mantissa_code_override& o : plan_.mantissa_overrides) {
      if (o.block != blk_) continue;
      if (!ms.override_first(o.bap, o.code)) {
        throw std::invalid_argument("frame writer: block " + std::to_string(blk_) + " has no mantissa with bap " +
                                    std::to_string(o.bap));
      }
    }
    ms.write(bw_);
    for (int bap = 0; bap < 16; ++bap) {
      out_.mantissa_count[blk_][bap] = ms.count[bap];
      out_.spanning_groups[blk_][bap] = ms.spanning[bap];
    }
  }


 public:
  int overrides_applied_ = 0;

 private:
  bit_writer& bw_;
  const frame_plan& plan_;
  const ac3::bsi& b_;
  const int blk_;
  const ac3::audblk& sb_;
  ac3::audblk& st_;
  written_frame& out_;
};

}  // namespace

uint16_t crc16_of(const uint8_t* data, size_t n, uint16_t start) {
  uint32_t r = start;
  for (size_t i = 0; i < n; ++i) {
    r ^= static_cast<uint32_t>(data[i]) << 8;
    for (int bit = 0; bit < 8; ++bit) r = (r & 0x8000u) ? ((r << 1) ^ 0x8005u) : (r << 1);
    r &= 0xffffu;
  }
  return static_cast<uint16_t>(r);
}

int frame_kbps(int frmsizecod) {
  if (frmsizecod < 0 || frmsizecod > 37) throw std::invalid_argument("frame writer: frmsizecod out of range");
  return kKbps[frmsizecod / 2];
}

int frame_words(int fscod, int frmsizecod) {
  const int kbps = frame_kbps(frmsizecod);
  switch (fscod) {
    case 0: return 2 * kbps;
    case 1: return kbps * 96000 / 44100 + (frmsizecod & 1);
    case 2: return 3 * kbps;
    default: throw std::invalid_argument("frame writer: fscod out of range");
  }
}

written_frame frame_writer::write(const frame_plan& plan) {
  written_frame out;
  ac3::bsi b = plan.bsi;
  if (b.acmod > 7) throw std::invalid_argument("frame writer: acmod out of range");
  b.nfchans = static_cast<uint16_t>(kNfchans[b.acmod]);
  out.bsi = b;

  ac3::audblk st = state_;
  bit_writer bw;
  bw.put(0x0B77, 16);
  bw.put(0, 16);  // crc1, set below
  bw.put(plan.fscod, 2);
  bw.put(plan.frmsizecod, 6);
  const int words = frame_words(plan.fscod, plan.frmsizecod);
  write_bsi(bw, b);
  out.bsi_end = bw.position() - 40;
  out.after_block.reserve(kBlocks);
  size_t overrides_applied = 0;
  for (int blk = 0; blk < kBlocks; ++blk) {
    block_writer block(bw, plan, b, blk, st, out);
    block.run();
    overrides_applied += static_cast<size_t>(block.overrides_applied_);
    out.after_block.push_back(st);
  }
  if (overrides_applied != plan.exponent_overrides.size()) {
    throw std::invalid_argument("frame writer: an exponent override names a set the frame does not send");
  }
  const int total = 16 * words;
  if (bw.position() > total - 18) {
    fail("content needs " + std::to_string(bw.position() + 18) + " bits, the frame holds " + std::to_string(total));
  }
  bw.pad_to(total - 18);
  bw.put(0, 1);   // auxdatae
  bw.put(0, 1);   // crcrsv
  bw.put(0, 16);  // crc2, set below
  out.body_bits = total - 40;
  out.bytes = bw.bytes();
  std::vector<uint8_t>& f = out.bytes;

  // crc1 makes the CRC over the first 5/8 of the frame after the sync word zero. The CRC is linear
  // in crc1's two bytes: the CRC of each single bit followed by the covered data's length in zeros
  // gives one column of that map.
  const size_t size58 = 2 * static_cast<size_t>((words >> 1) + (words >> 3));
  const uint16_t target = crc16_of(f.data() + 4, size58 - 4);
  std::vector<uint8_t> probe(size58 - 2, 0);
  uint16_t column[16];
  for (int bit = 0; bit < 16; ++bit) {
    probe[0] = static_cast<uint8_t>(((1u << bit) >> 8) & 0xff);
    probe[1] = static_cast<uint8_t>((1u << bit) & 0xff);
    column[bit] = crc16_of(probe.data(), probe.size());
  }
  // Solve sum of columns(c) = target over GF(2): a basis keyed by leading bit, with the crc1 bits
  // that make up each basis vector.
  uint16_t pivot_value[16] = {};
  uint16_t pivot_bits[16] = {};
  bool pivot_present[16] = {};
  for (int bit = 0; bit < 16; ++bit) {
    uint16_t v = column[bit];
    uint16_t m = static_cast<uint16_t>(1u << bit);
    for (int lead = 15; lead >= 0 && v != 0; --lead) {
      if (!((v >> lead) & 1u)) continue;
      if (!pivot_present[lead]) {
        pivot_present[lead] = true;
        pivot_value[lead] = v;
        pivot_bits[lead] = m;
        break;
      }
      v = static_cast<uint16_t>(v ^ pivot_value[lead]);
      m = static_cast<uint16_t>(m ^ pivot_bits[lead]);
    }
  }
  int crc1 = 0;
  uint16_t rest = target;
  for (int lead = 15; lead >= 0; --lead) {
    if (!((rest >> lead) & 1u)) continue;
    if (!pivot_present[lead]) {
      crc1 = -1;
      break;
    }
    rest = static_cast<uint16_t>(rest ^ pivot_value[lead]);
    crc1 ^= pivot_bits[lead];
  }
  if (crc1 < 0) fail("no crc1 solves the first 5/8 of the frame");
  f[2] = static_cast<uint8_t>(crc1 >> 8);
  f[3] = static_cast<uint8_t>(crc1 & 0xff);
  const uint16_t crc2 = crc16_of(f.data() + 2, f.size() - 4);
  f[f.size() - 2] = static_cast<uint8_t>(crc2 >> 8);
  f[f.size() - 1] = static_cast<uint8_t>(crc2 & 0xff);

  state_ = st;
  return out;
}

frame_plan make_frame_plan(int fscod, int frmsizecod, int acmod, int lfeon) {
  frame_plan f;
  f.fscod = static_cast<uint16_t>(fscod);
  f.frmsizecod = static_cast<uint16_t>(frmsizecod);
  f.bsi.bsid = 8;
  f.bsi.acmod = static_cast<uint16_t>(acmod);
  f.bsi.lfeon = static_cast<uint16_t>(lfeon);
  f.bsi.dialnorm = 31;
  f.bsi.dialnorm2 = 31;
  f.bsi.cmixlev = 0;
  f.bsi.surmixlev = 0;
  f.bsi.nfchans = static_cast<uint16_t>(kNfchans[acmod & 7]);
  for (int blk = 0; blk < kBlocks; ++blk) {
    ac3::audblk& a = f.blocks[blk];
    const bool first = blk == 0;
    a.cplstre = first;
    a.rematstr = first;
    a.baie = first;
    a.snroffste = first;
    a.deltbaie = first;
    a.lfeexpstr = first;
    for (int ch = 0; ch < 5; ++ch) {
      a.chexpstr[ch] = first ? 1 : 0;
      a.chbwcod[ch] = 60;
      a.fsnroffst[ch] = 0;
      a.fgaincod[ch] = 4;
      a.deltbae[ch] = 2;
    }
    a.cpldeltbae = 2;
    a.sdcycod = 2;
    a.fdcycod = 1;
    a.sgaincod = 1;
    a.dbpbcod = 2;
    a.floorcod = 4;
    a.csnroffst = 15;
    a.cplfgaincod = 4;
    a.lfefgaincod = 4;
  }
  return f;
}

int fit_snr_offset(const frame_writer& writer, frame_plan& plan) {
  // More signal-to-noise never takes fewer bits, so the largest fitting offset is found by halving.
  // Overrides change codes, never widths; trials leave them out, since an allocation tried on the
  // way may not have the bap an override looks for.
  auto trial_plan = std::make_unique<frame_plan>(plan);
  trial_plan->exponent_overrides.clear();
  trial_plan->mantissa_overrides.clear();
  auto fits = [&](int c) {
    for (ac3::audblk& a : trial_plan->blocks) a.csnroffst = static_cast<uint16_t>(c);
    frame_writer trial = writer;
    try {
      trial.write(*trial_plan);
      return true;
    } catch (const std::runtime_error&) {
      return false;
    }
  };
  if (!fits(1)) fail("the frame does not fit even with csnroffst 1");
  int lo = 1;
  int hi = 64;  // lo fits, hi does not (or is out of range)
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    if (fits(mid)) lo = mid; else hi = mid;
  }
  for (ac3::audblk& a : plan.blocks) a.csnroffst = static_cast<uint16_t>(lo);
  return lo;
}

coupling_coordinate coupling_coordinate_for(double gain, int mstrcplco) {
  // gain = (m + 16) / 32 * 2^-(e + 3 mstrcplco) * 8 with m in 0..15 and e in 0..14.
  for (int e = 0; e < 15; ++e) {
    const double scale = 8.0 / 32.0 * std::ldexp(1.0, -(e + 3 * mstrcplco));
    const long m = std::lround(gain / scale) - 16;
    if (m >= 0 && m <= 15) return {static_cast<uint16_t>(e), static_cast<uint16_t>(m)};
  }
  throw std::invalid_argument("frame writer: coupling gain out of range");
}

void write_ac3_file(const std::string& path, const std::vector<written_frame>& frames) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("frame writer: cannot create " + path);
  for (const written_frame& w : frames) out.write(reinterpret_cast<const char*>(w.bytes.data()), static_cast<std::streamsize>(w.bytes.size()));
  if (!out) throw std::runtime_error("frame writer: cannot write " + path);
}

}  // namespace ac3test

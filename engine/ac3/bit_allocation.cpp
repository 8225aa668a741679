// The A/52 parametric bit allocation: from the exponents and the block's allocation parameters to
// one bap per bin, for the full-bandwidth channels, the coupling channel and the LFE channel.
// Integer arithmetic on signed 16-bit values, as the encoder did it: any difference changes the
// number of bits read for the mantissas.
#include <cstdlib>
#include <cstring>

#include "ac3/bit_allocation_tables.h"
#include "ac3/stages.h"

namespace ac3 {

namespace {

constexpr int kLastBandBin = 253;   // bins from here on belong to no band

// Working storage of one allocation run.
struct allocation_work {
  int16_t psd[kBins];
  int16_t bndpsd[kBands];
  int16_t excite[kBands];
  int16_t mask[kBands];
};

// Delta bit allocation of one channel: mode and up to eight segments.
struct delta_info {
  int mode;   // 0: the kept segments, 1: new segments, 2 and 3: none
  int nseg;
  const uint16_t* offst;
  const uint16_t* len;
  const uint16_t* ba;
};

// One channel's allocation run.
struct channel_run {
  int start, end;
  const uint16_t* exps;   // indexed by bin
  int fgain;
  int fastleak, slowleak;
  bool lfe_rule;
  int snroffset;
  delta_info delta;
  uint16_t* baps;         // indexed by bin
};

int16_t s16(int v) { return static_cast<int16_t>(v); }
int max_of(int a, int b) { return a > b ? a : b; }
int min_of(int a, int b) { return a < b ? a : b; }

// latab by the difference a - b of the two values added, latab[min(|a - b| / 2, 255)], for every
// difference two PSD sums can have: PSD values lie in 0..3072 (exponents 0..24) and a band's sum
// of at most 24 of them lies at most 23 x 64 above its largest, so a - b lies in -3072..4544. The
// additions of a band form a chain, each waiting for the one before; one look-up by the difference
// keeps the absolute value, the shift and the clamp out of it. A mask keeps any index in the table.
constexpr int kDifferenceOffset = 3584;  // the index of a - b, for a - b in -3584..4607
constexpr int kDifferenceEntries = 8192;
struct difference_table {
  uint8_t add[kDifferenceEntries];
};
difference_table make_difference_table() {
  difference_table t{};
  for (int i = 0; i < kDifferenceEntries; ++i) {
    const int c = i - kDifferenceOffset;
    t.add[i] = static_cast<uint8_t>(latab[min_of(std::abs(c) >> 1, 255)]);
  }
  return t;
}
const difference_table logadd_table = make_difference_table();  // made when the library is loaded

int logadd(int a, int b) {
  const int c = a - b;
  return (c >= 0 ? a : b) + logadd_table.add[(c + kDifferenceOffset) & (kDifferenceEntries - 1)];
}

// Sums of four whole bands of one size, side by side: a band's sum is a chain of additions, each
// waiting for the look-up before it, and four independent chains take about the time of one.
void integrate_four_bands(const int16_t* __restrict psd, int16_t* __restrict bndpsd, int first_bin, int band,
                          int size) {
  const int16_t* p0 = psd + first_bin;
  const int16_t* p1 = p0 + size;
  const int16_t* p2 = p1 + size;
  const int16_t* p3 = p2 + size;
  int s0 = p0[0], s1 = p1[0], s2 = p2[0], s3 = p3[0];
  for (int k = 1; k < size; ++k) {
    s0 = s16(logadd(s0, p0[k]));
    s1 = s16(logadd(s1, p1[k]));
    s2 = s16(logadd(s2, p2[k]));
    s3 = s16(logadd(s3, p3[k]));
  }
  bndpsd[band] = s16(s0);
  bndpsd[band + 1] = s16(s1);
  bndpsd[band + 2] = s16(s2);
  bndpsd[band + 3] = s16(s3);
}

// Step A: power spectral density per bin and integrated per band.
void psd_integrate(allocation_work& w, int start, int end, const uint16_t* exps) {
  int16_t* __restrict psd = w.psd;
  int16_t* __restrict bndpsd = w.bndpsd;
  for (int bin = start; bin < end; ++bin) psd[bin] = s16(3072 - 128 * exps[bin]);
  int j = masktab[start];
  int i = start;
  int lastbin;
  do {
    // Bands grow with frequency (1, 3, 6, 12 and 24 bins), so band j + 3 of j's size makes four.
    const int size = bndsz[j];
    if (size > 1 && i == bndtab[j] && j + 3 < kBands && bndsz[j + 3] == size && i + 4 * size <= end) {
      integrate_four_bands(psd, bndpsd, i, j, size);
      i += 4 * size;
      j += 4;
      lastbin = i;
      continue;
    }
    lastbin = min_of(bndtab[j] + bndsz[j], end);
    bndpsd[j] = psd[i++];
    for (; i < lastbin; ++i) bndpsd[j] = s16(logadd(bndpsd[j], psd[i]));
    ++j;
  } while (end > lastbin);
}

int lowcomp_step(int lowcomp, int b0, int b1, int band) {
  if (band < 7) {
    if (b0 + 256 == b1) return 384;
    if (b0 > b1) return max_of(0, lowcomp - 64);
    return lowcomp;
  }
  if (band < 20) {
    if (b0 + 256 == b1) return 320;
    if (b0 > b1) return max_of(0, lowcomp - 64);
    return lowcomp;
  }
  return max_of(0, lowcomp - 128);
}

// Step B: excitation per band from the band PSD, with low-frequency compensation and leaks.
// The LFE rule leaves out the compensation at band 6, the LFE channel's last band.
void excitation_compute(allocation_work& w, const channel_run& run, const allocation_parameters& p) {
  const int16_t* __restrict bndpsd = w.bndpsd;
  int16_t* __restrict excite = w.excite;
  const int bndstrt = masktab[run.start];
  const int bndend = masktab[run.end - 1] + 1;
  const int fgain = run.fgain;
  int fastleak = run.fastleak;
  int slowleak = run.slowleak;
  int begin;
  if (bndstrt == 0) {
    int lowcomp = lowcomp_step(0, bndpsd[0], bndpsd[1], 0);
    excite[0] = s16(bndpsd[0] - fgain - lowcomp);
    lowcomp = lowcomp_step(lowcomp, bndpsd[1], bndpsd[2], 1);
    excite[1] = s16(bndpsd[1] - fgain - lowcomp);
    begin = 7;
    for (int band = 2; band < 7; ++band) {
      const bool lfe_last_band = run.lfe_rule && band == 6;
      if (!lfe_last_band) lowcomp = lowcomp_step(lowcomp, bndpsd[band], bndpsd[band + 1], band);
      fastleak = bndpsd[band] - fgain;
      slowleak = bndpsd[band] - p.sgain;
      excite[band] = s16(fastleak - lowcomp);
      if (!lfe_last_band && bndpsd[band] <= bndpsd[band + 1]) {
        begin = band + 1;
        break;
      }
    }
    const int low_end = min_of(bndend, 22);
    for (int band = begin; band < low_end; ++band) {
      if (!(run.lfe_rule && band == 6)) {
        lowcomp = lowcomp_step(lowcomp, bndpsd[band], bndpsd[band + 1], band);
      }
      fastleak = max_of(fastleak - p.fdecay, bndpsd[band] - fgain);
      slowleak = max_of(slowleak - p.sdecay, bndpsd[band] - p.sgain);
      excite[band] = s16(max_of(fastleak - lowcomp, slowleak));
    }
    begin = 22;
  } else {
    begin = bndstrt;
  }
  for (int band = begin; band < bndend; ++band) {
    fastleak = max_of(fastleak - p.fdecay, bndpsd[band] - fgain);
    slowleak = max_of(slowleak - p.sdecay, bndpsd[band] - p.sgain);
    excite[band] = s16(max_of(fastleak, slowleak));
  }
}

// Step C: masking curve per band, hearing threshold and delta bit allocation. False when a delta
// segment would run past the last band.
bool mask_compute(allocation_work& w, const channel_run& run, const allocation_parameters& p, int fscod) {
  const int16_t* __restrict bndpsd = w.bndpsd;
  int16_t* __restrict excite = w.excite;
  int16_t* __restrict mask = w.mask;
  const int bndstrt = masktab[run.start];
  const int bndend = masktab[run.end - 1] + 1;
  for (int band = bndstrt; band < bndend; ++band) {
    if (bndpsd[band] < p.dbknee) excite[band] = s16(excite[band] + ((p.dbknee - bndpsd[band]) >> 2));
    mask[band] = s16(max_of(excite[band], hth[fscod][band]));
  }
  const delta_info& d = run.delta;
  if (d.mode != 0 && d.mode != 1) return true;
  // Segments count bands from the channel's first band: 0 for full-bandwidth channels, the band of
  // cplstrtmant for the coupling channel (whose 5-bit offsets could not reach its bands otherwise).
  int band = bndstrt;
  for (int seg = 0; seg <= d.nseg; ++seg) {
    band += d.offst[seg];
    const int delta = d.ba[seg] >= 4 ? 128 * (d.ba[seg] - 3) : 128 * (d.ba[seg] - 4);
    for (int k = 0; k < d.len[seg]; ++k, ++band) {
      if (band >= kBands) return false;
      mask[band] = s16(mask[band] + delta);
    }
  }
  return true;
}

// baptab by the address before its clamp to 0..63: PSD values lie in 0..3072 and a band's masking
// value m in -2048..8912 (the floor plus up to 0x1FE0), so (psd - m) >> 5 lies in -279..160. A mask
// keeps any index in the table.
constexpr int kAddressOffset = 280;  // the index of address 0
constexpr int kAddressEntries = 512;
struct address_table {
  uint8_t bap[kAddressEntries];
};
address_table make_address_table() {
  address_table t{};
  for (int i = 0; i < kAddressEntries; ++i) t.bap[i] = static_cast<uint8_t>(baptab[min_of(max_of(i - kAddressOffset, 0), 63)]);
  return t;
}
const address_table bap_by_address = make_address_table();  // made when the library is loaded

// Step D: bap per bin from PSD over the mask, offset by the SNR offset and floor.
void bap_compute(const allocation_work& w, const channel_run& run, const allocation_parameters& p) {
  const int16_t* __restrict psd = w.psd;
  const int16_t* __restrict mask = w.mask;
  int j = masktab[run.start];
  int i = run.start;
  int lastbin;
  do {
    lastbin = min_of(bndtab[j] + bndsz[j], run.end);
    int m = mask[j] - run.snroffset - p.floor;
    if (m < 0) m = 0;
    m = (m & 0x1FE0) + p.floor;
    // (psd - m) >> 5 plus the offset is (psd - m + 32 * offset) >> 5: one subtraction per bin.
    const int m_less_offset = m - 32 * kAddressOffset;
    for (; i < lastbin; ++i) {
      run.baps[i] = bap_by_address.bap[((psd[i] - m_less_offset) >> 5) & (kAddressEntries - 1)];
    }
    ++j;
  } while (run.end > lastbin);
}

bool compute_channel(allocation_work& w, const channel_run& run, const allocation_parameters& p, int fscod) {
  if (run.start >= run.end || run.end > kLastBandBin) return true;   // no bins to allocate
  psd_integrate(w, run.start, run.end, run.exps);
  excitation_compute(w, run, p);
  const bool ok = mask_compute(w, run, p, fscod);
  bap_compute(w, run, p);
  return ok;
}

// The reuse cache (decoder_state.h): a channel whose inputs equal those of its last run gets that
// run's baps again. The result is the same bit for bit.

bool delta_applied(const delta_info& d) { return d.mode == 0 || d.mode == 1; }

int delta_segments(const delta_info& d) { return d.nseg < kMaxDeltaSegments ? d.nseg + 1 : kMaxDeltaSegments; }

// The bins a run reads and writes: start to end, within the arrays.
int first_bin(const channel_run& run) { return run.start < 0 ? 0 : run.start; }
int last_bin(const channel_run& run) { return run.end > kBins ? kBins : run.end; }
size_t run_bytes(const channel_run& run) {
  const int first = first_bin(run);
  const int last = last_bin(run);
  return last > first ? static_cast<size_t>(last - first) * sizeof(uint16_t) : 0;
}

bool same_parameters(const allocation_parameters& a, const allocation_parameters& b) {
  return a.sdecay == b.sdecay && a.fdecay == b.fdecay && a.sgain == b.sgain && a.dbknee == b.dbknee &&
         a.floor == b.floor;
}

bool same_inputs(const channel_inputs& in, const channel_run& run, const allocation_parameters& p, int fscod) {
  if (in.start != run.start || in.end != run.end || in.fgain != run.fgain || in.fastleak != run.fastleak ||
      in.slowleak != run.slowleak || in.snroffset != run.snroffset || in.fscod != fscod ||
      in.lfe_rule != run.lfe_rule || !same_parameters(in.p, p) || in.delta_applied != delta_applied(run.delta)) {
    return false;
  }
  if (in.delta_applied) {
    if (in.nseg != run.delta.nseg) return false;
    const size_t n = static_cast<size_t>(delta_segments(run.delta)) * sizeof(uint16_t);
    if (std::memcmp(in.offst, run.delta.offst, n) != 0 || std::memcmp(in.len, run.delta.len, n) != 0 ||
        std::memcmp(in.ba, run.delta.ba, n) != 0) {
      return false;
    }
  }
  const int first = first_bin(run);
  return std::memcmp(in.exps + first, run.exps + first, run_bytes(run)) == 0;
}

void remember_inputs(channel_inputs& in, const channel_run& run, const allocation_parameters& p, int fscod) {
  in.start = run.start;
  in.end = run.end;
  in.fgain = run.fgain;
  in.fastleak = run.fastleak;
  in.slowleak = run.slowleak;
  in.snroffset = run.snroffset;
  in.fscod = fscod;
  in.lfe_rule = run.lfe_rule;
  in.p = p;
  in.delta_applied = delta_applied(run.delta);
  if (in.delta_applied) {
    in.nseg = run.delta.nseg;
    const size_t n = static_cast<size_t>(delta_segments(run.delta)) * sizeof(uint16_t);
    std::memcpy(in.offst, run.delta.offst, n);
    std::memcpy(in.len, run.delta.len, n);
    std::memcpy(in.ba, run.delta.ba, n);
  }
  const int first = first_bin(run);
  std::memcpy(in.exps + first, run.exps + first, run_bytes(run));
}

bool allocate_channel(decoder& d, allocation_work& w, int slot, const channel_run& run,
                      const allocation_parameters& p, int fscod) {
  channel_memory& m = d.allocation[slot];
  const int first = first_bin(run);
  const size_t bytes = run_bytes(run);
  if (m.valid && same_inputs(m.inputs, run, p, fscod)) {
    if (bytes) std::memcpy(run.baps + first, m.baps + first, bytes);
    return m.ok;
  }
  m.ok = compute_channel(w, run, p, fscod);
  remember_inputs(m.inputs, run, p, fscod);
  if (bytes) std::memcpy(m.baps + first, run.baps + first, bytes);
  m.valid = true;
  return m.ok;
}

int snr_offset(const audblk& ab, int fine) { return 64 * ab.csnroffst + 4 * fine - 960; }

bool nothing_new(const audblk& ab) {
  for (int ch = 0; ch < kMaxFbwChannels; ++ch) {
    if (ab.chexpstr[ch] != 0) return false;
  }
  // New coupling leak values change the coupling channel's allocation: keeping the old baps would
  // read the rest of the block with the wrong widths.
  return ab.cplexpstr == 0 && ab.lfeexpstr == 0 && ab.baie == 0 && ab.snroffste == 0 &&
         ab.deltbaie == 0 && !(ab.cplinu && ab.cplleake);
}

bool all_offsets_zero(const audblk& ab) {
  for (int ch = 0; ch < kMaxFbwChannels; ++ch) {
    if (ab.fsnroffst[ch] != 0) return false;
  }
  return ab.csnroffst == 0 && ab.cplfsnroffst == 0 && ab.lfefsnroffst == 0;
}

void clear_baps(decoder& d) {
  audblk& ab = d.audblk;
  for (channel_memory& m : d.allocation) m.valid = false;
  for (auto& channel : ab.fbw_bap) {
    for (uint16_t& bap : channel) bap = 0;
  }
  for (uint16_t& bap : ab.cpl_bap) bap = 0;
  for (uint16_t& bap : ab.lfe_bap) bap = 0;
}

}  // namespace

void allocate_bits(decoder& d) {
  const uint16_t fscod = d.syncinfo.fscod;
  const bsi& b = d.bsi;
  audblk& ab = d.audblk;
  if (nothing_new(ab)) return;   // exponents and parameters as before: so are the baps
  if (fscod > 2) return;

  const allocation_parameters p = {slowdec[ab.sdcycod], fastdec[ab.fdcycod], slowgain[ab.sgaincod],
                                   dbpbtab[ab.dbpbcod], floortab[ab.floorcod]};
  if (all_offsets_zero(ab)) {
    clear_baps(d);
    return;
  }

  allocation_work w;
  bool ok = true;
  for (int ch = 0; ch < b.nfchans; ++ch) {
    const delta_info delta = {ab.deltbae[ch], ab.deltnseg[ch], ab.deltoffst[ch], ab.deltlen[ch],
                              ab.deltba[ch]};
    const channel_run run = {0, ab.endmant[ch], ab.fbw_exp[ch], fastgain[ab.fgaincod[ch]], 0, 0,
                             false, snr_offset(ab, ab.fsnroffst[ch]), delta, ab.fbw_bap[ch]};
    ok = allocate_channel(d, w, ch, run, p, fscod) && ok;
  }
  if (ab.cplinu) {
    const delta_info delta = {ab.cpldeltbae, ab.cpldeltnseg, ab.cpldeltoffst, ab.cpldeltlen,
                              ab.cpldeltba};
    const channel_run run = {ab.cplstrtmant, ab.cplendmant, ab.cpl_exp,
                             fastgain[ab.cplfgaincod], 256 * ab.cplfleak + 768,
                             256 * ab.cplsleak + 768, false, snr_offset(ab, ab.cplfsnroffst), delta,
                             ab.cpl_bap};
    ok = allocate_channel(d, w, kMaxFbwChannels, run, p, fscod) && ok;
  }
  if (b.lfeon) {
    const delta_info none = {2, 0, nullptr, nullptr, nullptr};
    const channel_run run = {0, kLfeBins, ab.lfe_exp, fastgain[ab.lfefgaincod], 0, 0, true,
                             snr_offset(ab, ab.lfefsnroffst), none, ab.lfe_bap};
    ok = allocate_channel(d, w, kMaxFbwChannels + 1, run, p, fscod) && ok;
  }
  // A delta segment past the last band: the stream is inconsistent; the frame is given up.
  if (!ok) d.error_flag = 1;
}

}  // namespace ac3

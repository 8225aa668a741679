#include "ac3/coupling.h"

#include "ac3/dither.h"
#include "ac3/exponent_scale.h"
#include "ac3/mantissas.h"

namespace ac3 {

namespace {

constexpr int kSubbandBins = 12;

// The coupling coordinate of band bnd of channel ch.
float coupling_coordinate(const audblk& ab, int ch, int bnd) {
  const int cplcoexp = ab.cplcoexp[ch][bnd];
  const int x = cplcoexp + 3 * ab.mstrcplco[ch];   // at most 15 + 9
  const int mantissa = cplcoexp == 15 ? ab.cplcomant[ch][bnd] * 2048
                                      : (ab.cplcomant[ch][bnd] + 16) * 1024;
  return static_cast<float>(mantissa) * exponent_scale[x] * 8.0f;
}

// The bin after the last sub-band that decoupling covers: whole sub-bands from cplstrtmant on until
// cplendmant is reached, at most 18 of them and never past the last bin.
int coupling_end(const audblk& ab) {
  int bin = ab.cplstrtmant < kBins ? ab.cplstrtmant : kBins;
  for (int s = 0; bin < ab.cplendmant && s < kMaxCplSubbands; ++s) bin = bin + kSubbandBins < kBins ? bin + kSubbandBins : kBins;
  return bin;
}

}  // namespace

void find_coupling_zeros(const audblk& ab, coupling_zeros& zeros) {
  int n = 0;
  const int end = coupling_end(ab);
  for (int bin = ab.cplstrtmant; bin < end; ++bin) {
    zeros.bins[n] = static_cast<uint8_t>(bin);
    n += ab.cpl_bap[bin] == 0 ? 1 : 0;
  }
  zeros.count = n;
}

// Each bin is its coupling mantissa times 2^-(31 + e) times its band's coordinate, taken as one
// factor: 2^-(31 + e) is a power of two, so m * (2^-(31 + e) * c) is exactly (m * 2^-(31 + e)) * c.
// The first pass runs on vectors over whole sub-bands; the bins without bits of a dithered channel
// are then overwritten with the dither sequence's next values, in bin order.
void decouple_channel(decoder& d, float* coeffs, int ch, const coupling_zeros& zeros) {
  const bsi& b = d.bsi;
  const audblk& ab = d.audblk;
  const bool phase = b.acmod == 2 && ab.phsflginu && ch == 1;
  alignas(16) float factor[kBins];
  float c = 1.0f;
  int bnd = 0;
  int bin = ab.cplstrtmant < kBins ? ab.cplstrtmant : kBins;
  for (int s = 0; bin < ab.cplendmant && s < kMaxCplSubbands; ++s) {
    if (ab.cplbndstrc[s] == 0 && bnd < kMaxCplSubbands) {
      // A new coupling band begins with this sub-band.
      c = coupling_coordinate(ab, ch, bnd);
      if (phase && ab.phsflg[bnd]) c = -c;
      ++bnd;
    }
    const int stop = bin + kSubbandBins < kBins ? bin + kSubbandBins : kBins;
    for (; bin < stop; ++bin) {
      factor[bin] = mantissa_scale(ab.cpl_exp[bin]) * c;
      coeffs[bin] = ab.cplmant[bin] * factor[bin];
    }
  }
  if (ab.dithflag[ch] == 0) return;
  // zeros.count (at most kBins) values from the decoder's position.
  const float* dither_value = dither_values.values + d.dither_position;
  for (int k = 0; k < zeros.count; ++k) {
    const int i = zeros.bins[k];
    coeffs[i] = dither_value[k] * factor[i];
  }
  d.dither_position = dither_advance(d.dither_position, zeros.count);
}

void decouple_channel(decoder& d, float* coeffs, int ch) {
  coupling_zeros zeros;
  find_coupling_zeros(d.audblk, zeros);
  decouple_channel(d, coeffs, ch, zeros);
}

}  // namespace ac3

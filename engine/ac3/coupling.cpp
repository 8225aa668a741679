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

}  // namespace

void decouple_channel(decoder& d, float* coeffs, int ch) {
  const bsi& b = d.bsi;
  const audblk& ab = d.audblk;
  const bool dither = ab.dithflag[ch] != 0;
  const bool phase = b.acmod == 2 && ab.phsflginu && ch == 1;
  // The channel's bins without bits take the next values of the dither sequence (at most kBins).
  const float* dither_value = dither_values.values + d.dither_position;
  int taken = 0;
  float c = 1.0f;
  int bnd = 0;
  int bin = ab.cplstrtmant;
  for (int s = 0; bin < ab.cplendmant && s < kMaxCplSubbands; ++s) {
    if (ab.cplbndstrc[s] == 0 && bnd < kMaxCplSubbands) {
      // A new coupling band begins with this sub-band.
      c = coupling_coordinate(ab, ch, bnd);
      if (phase && ab.phsflg[bnd]) c = -c;
      ++bnd;
    }
    for (int k = 0; k < kSubbandBins && bin < kBins; ++k, ++bin) {
      const bool takes_dither = dither && ab.cpl_bap[bin] == 0;
      const float mantissa = takes_dither ? dither_value[taken] : ab.cplmant[bin];
      taken += takes_dither ? 1 : 0;
      coeffs[bin] = mantissa * mantissa_scale(ab.cpl_exp[bin]) * c;
    }
  }
  d.dither_position = dither_advance(d.dither_position, taken);
}

}  // namespace ac3

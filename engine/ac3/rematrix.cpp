// Undoing rematrixing of a 2/0 stream: in each flagged band left and right were sent as sum and
// difference.
#include "ac3/stages.h"

namespace ac3 {

namespace {

struct rematrix_band {
  int first, last;   // bins, inclusive
};

constexpr rematrix_band kBands[4] = {{13, 24}, {25, 36}, {37, 60}, {61, 252}};

}  // namespace

void rematrix_stereo(decoder& d) {
  const audblk& ab = d.audblk;
  coeff_buffer_t& coeffs = d.coeffs;
  int bands = 4;
  int upper = kBands[3].last;
  if (ab.cplinu) {
    bands = ab.cplbegf > 2 ? 4 : (ab.cplbegf > 0 ? 3 : 2);
    upper = 36 + 12 * ab.cplbegf;   // the last bin below coupling
  }
  for (int rbnd = 0; rbnd < bands; ++rbnd) {
    if (!ab.rematflg[rbnd]) continue;
    const int last = kBands[rbnd].last < upper ? kBands[rbnd].last : upper;
    for (int bin = kBands[rbnd].first; bin <= last; ++bin) {
      const float left = coeffs[0][bin];
      const float right = coeffs[1][bin];
      coeffs[0][bin] = left + right;
      coeffs[1][bin] = left - right;
    }
  }
}

}  // namespace ac3

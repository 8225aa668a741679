// Rebuilding a coupled channel from the coupling channel and its coupling coordinates.
#pragma once

#include "ac3/decoder_state.h"

namespace ac3 {

// The coupling channel's bins without bits (cpl_bap 0) in the block, in bin order: the bins whose
// dither a dithered coupled channel takes. The same for every coupled channel of the block.
struct coupling_zeros {
  int count;
  uint8_t bins[kBins];
};
void find_coupling_zeros(const audblk& ab, coupling_zeros& zeros);

// Writes the coefficients of bins cplstrtmant..cplendmant-1 of channel ch into coeffs, from the
// decoder's coupling channel; bins without bits take the decoder's dither when ch dithers. The
// second form finds the bins without bits itself.
void decouple_channel(decoder& d, float* coeffs, int ch, const coupling_zeros& zeros);
void decouple_channel(decoder& d, float* coeffs, int ch);

}  // namespace ac3

// Rebuilding a coupled channel from the coupling channel and its coupling coordinates.
#pragma once

#include "ac3/decoder_state.h"

namespace ac3 {

// Writes the coefficients of bins cplstrtmant..cplendmant-1 of channel ch into coeffs, from the
// decoder's coupling channel; bins without bits take the decoder's dither when ch dithers.
void decouple_channel(decoder& d, float* coeffs, int ch);

}  // namespace ac3

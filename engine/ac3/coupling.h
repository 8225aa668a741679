// Rebuilding a coupled channel from the coupling channel and its coupling coordinates.
#pragma once

#include "ac3/records.h"

namespace ac3 {

// Writes the coefficients of bins cplstrtmant..cplendmant-1 of channel ch into coeffs.
void decouple_channel(float* coeffs, const bsi& b, const audblk& ab, int ch);

}  // namespace ac3

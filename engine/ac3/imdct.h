// The inverse transform of one channel's block, with windowing and overlap-add.
#pragma once

#include "ac3/records.h"

namespace ac3 {

// 256 coefficients in, 256 time samples out (in and out may be the same array); reads and
// updates the channel's delay buffer (the decoder's delay: one 256-float overlap per
// full-bandwidth channel slot, zero after a reset, carried across blocks, frames and bad frames). The long
// form is one 512-sample transform, the short form two interleaved 256-sample transforms (a channel with
// blksw set).
void imdct_long(const float* in, float* out, float* delay);
void imdct_short(const float* in, float* out, float* delay);

}  // namespace ac3

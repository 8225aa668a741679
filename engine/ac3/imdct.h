// The inverse transform of one block of coefficients, with windowing and overlap-add.
#pragma once

#include "ac3/records.h"

namespace ac3 {

// 256 coefficients in, 256 time samples out (in and out may be the same array; neither may be the
// delay); reads and updates the 256-float overlap that the next block's first half is added to.
// The long form is one 512-sample transform, the short form two interleaved 256-sample transforms
// (blksw set).
void imdct_long(const float* in, float* out, float* delay);
void imdct_short(const float* in, float* out, float* delay);

// The same transforms added to what another transform of the same block left in out and delay: the
// block's windowed samples are added to out and its second half to the delay (the old overlap is
// already in out). For the channels of a block that use the other transform length.
void imdct_long_add(const float* in, float* out, float* delay);
void imdct_short_add(const float* in, float* out, float* delay);

// Whether the decoder's vector code runs on SSE2 (else the functions above are those below).
bool vectors_are_sse2();

// The transforms on the portable vector form, whatever the build has: what a build without SSE2
// (or with QELP_PORTABLE_VECTORS) runs, and what a decoder with portable_vectors set runs.
namespace portable {
void imdct_long(const float* in, float* out, float* delay);
void imdct_short(const float* in, float* out, float* delay);
void imdct_long_add(const float* in, float* out, float* delay);
void imdct_short_add(const float* in, float* out, float* delay);
}  // namespace portable

}  // namespace ac3

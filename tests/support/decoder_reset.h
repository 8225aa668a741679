// Puts the decoder's running state back to how it is at library load: the dither register at 1
// and the transform's overlap buffers at zero. Two conversions of one stream in one process then
// give the same samples, which a test can compare exactly.
#pragma once

namespace qelp_test {

void decoder_state_reset();

}  // namespace qelp_test

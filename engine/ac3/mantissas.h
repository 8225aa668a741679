// Mantissa reading: one value per bin, by the bin's bap, from the bit stream.
#pragma once

#include <cstdint>

#include "ac3/decoder_state.h"

namespace ac3 {

// Forgets any partly used group of the grouped quantizers (bap 1, 2 and 4). Called at the start of
// every block: a group may span channels within a block, never blocks.
void group_state_reset(decoder& d);

// The next mantissa value for a bin with this bap (0..15), a fraction of full scale (32768 = 1.0).
// bap 0 gives dither when dither is on, else 0. An invalid code prints the invalid-mantissa message
// (unless the frame is already bad), sets the decoder's error_flag and gives 0.
int16_t next_mantissa(decoder& d, int bap, bool dither);

}  // namespace ac3

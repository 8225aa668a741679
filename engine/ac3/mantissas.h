// Mantissa reading: one value per bin, by the bin's bap, from the bit stream.
#pragma once

#include <bit>
#include <cstdint>

#include "ac3/decoder_state.h"

namespace ac3 {

// Full scale of a mantissa as the decoder holds it (in the coefficient buffer before the exponents
// are applied, and in the coupling channel's cplmant): the scale of a 32-bit two's complement
// number, 2^31, so that a code of up to 16 bits is a float without rounding.
inline constexpr float kMantissaUnit = 2147483648.0f;

// A mantissa of exponent e (0..24) times this is the coefficient: 2^-(31 + e), made from its bits.
inline float mantissa_scale(unsigned e) { return std::bit_cast<float>((127u - 31u - (e & 31u)) << 23); }

// Forgets any partly used group of the grouped quantizers (bap 1, 2 and 4). Called at the start of
// every block: a group may span channels within a block, never blocks.
void group_state_reset(decoder& d);

// The next mantissa value for a bin with this bap (0..15), as a fraction of full scale. bap 0 gives
// dither when dither is on (stepping the decoder's register), else 0. An invalid code prints the
// invalid-mantissa message (unless the frame is already bad), sets the decoder's error_flag and
// gives 0.
float next_mantissa(decoder& d, int bap, bool dither);

}  // namespace ac3

// Mantissa quantizers: the width in bits of every bap's code. The symmetric quantizers of bap 1..5
// have L = 3, 5, 7, 11, 15 levels; level k is the exact fraction (2k - (L - 1)) / L of full scale
// (mantissas.cpp holds them at the mantissa scale). Codes of bap 6..15 are two's complement
// fractions of full scale.
#pragma once

#include <cstdint>

namespace ac3 {

// Code width by bap (0 for bap 0 and the grouped 1, 2, 4).
inline constexpr uint8_t quant_bits[16] = {0, 0, 0, 3, 0, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 16};

}  // namespace ac3

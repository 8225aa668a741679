// Mantissa quantizers: the levels of the symmetric quantizers for bap 1..5 and the width in bits
// of every bap's code.
#pragma once

#include <cstdint>

namespace ac3 {

extern const int16_t quant_levels_3[3];    // bap 1
extern const int16_t quant_levels_5[5];    // bap 2
extern const int16_t quant_levels_7[7];    // bap 3
extern const int16_t quant_levels_11[11];  // bap 4
extern const int16_t quant_levels_15[15];  // bap 5
extern const uint8_t quant_bits[16];       // code width by bap (0 for bap 0 and the grouped 1, 2, 4)

}  // namespace ac3

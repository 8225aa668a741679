// Mantissa quantizers: the levels of the symmetric quantizers for bap 1..5 and the width in bits
// of every bap's code. Level k of an L-level quantizer is (2k - (L - 1)) / L of full scale (32768),
// truncated.
#pragma once

#include <cstdint>

namespace ac3 {

inline constexpr int16_t quant_levels_3[3] = {-21845, 0, 21845};  // bap 1
inline constexpr int16_t quant_levels_5[5] = {-26214, -13107, 0, 13107, 26214};  // bap 2
inline constexpr int16_t quant_levels_7[7] = {-28086, -18724, -9362, 0, 9362, 18724, 28086};  // bap 3
inline constexpr int16_t quant_levels_11[11] = {-29789, -23831, -17873, -11915, -5957, 0,  // bap 4
                                                5957,   11915,  17873,  23831,  29789};
inline constexpr int16_t quant_levels_15[15] = {-30583, -26214, -21845, -17476, -13107, -8738, -4369, 0,  // bap 5
                                                4369,   8738,   13107,  17476,  21845,  26214, 30583};
// Code width by bap (0 for bap 0 and the grouped 1, 2, 4).
inline constexpr uint8_t quant_bits[16] = {0, 0, 0, 3, 0, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 16};

}  // namespace ac3

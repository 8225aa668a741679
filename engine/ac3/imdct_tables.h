// Tables of the inverse transform: window, pre/post-twiddle factors, FFT twiddles, bit reversal.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ac3 {

// First half of the 512-sample window (Kaiser-Bessel-derived, alpha 5); window[255 - n] mirrors
// into the second half. Computed when the library is loaded and never changed after.
extern const std::array<float, 256> window;

struct transform_factor_tables {
  // Pre/post-twiddle factors: -cos and -sin of 2*pi*(8k + 1)/4096 (long) and /2048 (short).
  float xcos1[128], xsin1[128];
  float xcos2[64], xsin2[64];
  // FFT twiddles of stage m (m = 0..6), real and imaginary parts, for k < 2^m: made by repeated
  // multiplication with exp(-j*2*pi/2^(m+1)) in float, not evaluated one by one.
  float fft_twiddle_re[7][64], fft_twiddle_im[7][64];
};

// Computed once when the library is loaded (the long double cosines are not constant expressions)
// and never changed after.
extern const transform_factor_tables transform_factors;

// Bit reversal of 7-bit and 6-bit indices.
template <int Bits>
constexpr std::array<uint8_t, (1 << Bits)> bit_reversal() {
  std::array<uint8_t, (1 << Bits)> table{};
  for (int i = 0; i < (1 << Bits); ++i) {
    int r = 0;
    for (int b = 0; b < Bits; ++b) r |= ((i >> b) & 1) << (Bits - 1 - b);
    table[static_cast<std::size_t>(i)] = static_cast<uint8_t>(r);
  }
  return table;
}
inline constexpr std::array<uint8_t, 128> bitrev7 = bit_reversal<7>();
inline constexpr std::array<uint8_t, 64> bitrev6 = bit_reversal<6>();

}  // namespace ac3

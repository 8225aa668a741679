// Tables of the inverse transform: window, pre/post-twiddle factors, FFT twiddles. All are computed
// once when the library is loaded (from cosines and Bessel functions, which are not constant
// expressions) and never changed after.
#pragma once

#include <array>

namespace ac3 {

// First half of the 512-sample window (Kaiser-Bessel-derived, alpha 5); window[255 - n] mirrors
// into the second half.
extern const std::array<float, 256> window;

// The window as the overlap-add reads it, n = 0..63, with the factor 2 of the output and the signs
// of the formulas folded in (scaling by 2 and flipping a sign are exact, so the products are those
// of the formulas):
//   out[2n]       = 2 D[2n]       + a_im[n]      * out_even[n]       out_even[n]       = -2 w[2n]
//   out[2n + 1]   = 2 D[2n + 1]   + b_re[63 - n] * out_odd[n]        out_odd[n]        =  2 w[2n + 1]
//   out[128 + 2n] = 2 D[128 + 2n] + b_re[n]      * out_even_high[n]  out_even_high[n]  = -2 w[128 + 2n]
//   out[129 + 2n] = 2 D[129 + 2n] + a_im[63 - n] * out_odd_high[n]   out_odd_high[n]   =  2 w[129 + 2n]
//   D[2n]         = c_re[n]       * delay_even[n]                    delay_even[n]      = -w[255 - 2n]
//   D[2n + 1]     = d_im[63 - n]  * delay_odd[n]                     delay_odd[n]       =  w[254 - 2n]
//   D[128 + 2n]   = d_im[n]       * delay_even_high[n]               delay_even_high[n] =  w[127 - 2n]
//   D[129 + 2n]   = c_re[63 - n]  * delay_odd_high[n]                delay_odd_high[n]  = -w[126 - 2n]
struct window_factor_tables {
  float out_even[64], out_odd[64], out_even_high[64], out_odd_high[64];
  float delay_even[64], delay_odd[64], delay_even_high[64], delay_odd_high[64];
};
extern const window_factor_tables window_factors;

struct transform_factor_tables {
  // Pre/post-twiddle factors: -cos and -sin of 2*pi*(8k + 1)/4096 (long) and /2048 (short).
  float xcos1[128], xsin1[128];
  float xcos2[64], xsin2[64];
  // FFT twiddles exp(-j*pi*k/H) of the stage whose butterflies span H = 2^m (m = 0..6), k < H,
  // each computed from its own angle.
  float fft_twiddle_re[7][64], fft_twiddle_im[7][64];
};
extern const transform_factor_tables transform_factors;

}  // namespace ac3

// Builds the pre/post-twiddle factors and the FFT twiddles of the inverse transform.
#include "ac3/imdct_tables.h"

#include <cmath>

#include "ac3/stages.h"

namespace ac3 {

float xcos1[128], xsin1[128];
float xcos2[64], xsin2[64];
complex_f fft_twiddle[7][64];
float fft_twiddle_re[7][64], fft_twiddle_im[7][64];

namespace {

void pre_post_factors(float* xcos, float* xsin, int count, long double size) {
  const long double two_pi = 6.283185307179586476925286766559L;
  for (int k = 0; k < count; ++k) {
    const long double angle = (8.0L * k + 1.0L) * two_pi / size;
    xcos[k] = static_cast<float>(-std::cos(angle));
    xsin[k] = static_cast<float>(-std::sin(angle));
  }
}

}  // namespace

void imdct_tables_build() {
  pre_post_factors(xcos1, xsin1, 128, 4096.0L);
  pre_post_factors(xcos2, xsin2, 64, 2048.0L);

  const long double two_pi = 6.283185307179586476925286766559L;
  for (int m = 0; m < 7; ++m) {
    const long double angle = -two_pi / static_cast<long double>(2 << m);
    const float c = static_cast<float>(std::cos(angle));
    const float s = static_cast<float>(std::sin(angle));
    complex_f w{1.0f, 0.0f};
    for (int k = 0; k < (1 << m); ++k) {
      fft_twiddle[m][k] = w;
      fft_twiddle_re[m][k] = w.re;
      fft_twiddle_im[m][k] = w.im;
      const float re = c * w.re - s * w.im;
      const float im = s * w.re + c * w.im;
      w = complex_f{re, im};
    }
  }
}

}  // namespace ac3

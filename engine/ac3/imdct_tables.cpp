// Builds the pre/post-twiddle factors and the FFT twiddles of the inverse transform.
#include "ac3/imdct_tables.h"

#include <cmath>

#include "ac3/stages.h"

namespace ac3 {

float xcos1[128], xsin1[128];
float xcos2[64], xsin2[64];
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
    float w_re = 1.0f, w_im = 0.0f;
    for (int k = 0; k < (1 << m); ++k) {
      fft_twiddle_re[m][k] = w_re;
      fft_twiddle_im[m][k] = w_im;
      const float re = c * w_re - s * w_im;
      const float im = s * w_re + c * w_im;
      w_re = re;
      w_im = im;
    }
  }
}

}  // namespace ac3

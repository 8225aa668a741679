// Builds the pre/post-twiddle factors and the FFT twiddles of the inverse transform.
#include "ac3/imdct_tables.h"

#include <cmath>

namespace ac3 {

namespace {

void pre_post_factors(float* xcos, float* xsin, int count, long double size) {
  const long double two_pi = 6.283185307179586476925286766559L;
  for (int k = 0; k < count; ++k) {
    const long double angle = (8.0L * k + 1.0L) * two_pi / size;
    xcos[k] = static_cast<float>(-std::cos(angle));
    xsin[k] = static_cast<float>(-std::sin(angle));
  }
}

transform_factor_tables build_transform_factors() {
  transform_factor_tables t{};
  pre_post_factors(t.xcos1, t.xsin1, 128, 4096.0L);
  pre_post_factors(t.xcos2, t.xsin2, 64, 2048.0L);

  const long double two_pi = 6.283185307179586476925286766559L;
  for (int m = 0; m < 7; ++m) {
    const long double angle = -two_pi / static_cast<long double>(2 << m);
    const float c = static_cast<float>(std::cos(angle));
    const float s = static_cast<float>(std::sin(angle));
    float w_re = 1.0f, w_im = 0.0f;
    for (int k = 0; k < (1 << m); ++k) {
      t.fft_twiddle_re[m][k] = w_re;
      t.fft_twiddle_im[m][k] = w_im;
      const float re = c * w_re - s * w_im;
      const float im = s * w_re + c * w_im;
      w_re = re;
      w_im = im;
    }
  }
  return t;
}

}  // namespace

const transform_factor_tables transform_factors = build_transform_factors();

}  // namespace ac3

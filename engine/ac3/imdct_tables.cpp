// Builds the pre/post-twiddle factors and the FFT twiddles of the inverse transform, in long double.
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

// The cosine of a right angle is 0, not the rounding error of pi/2.
float exact_zero(long double v) { return std::fabs(v) < 1e-15L ? 0.0f : static_cast<float>(v); }

transform_factor_tables build_transform_factors() {
  transform_factor_tables t{};
  pre_post_factors(t.xcos1, t.xsin1, 128, 4096.0L);
  pre_post_factors(t.xcos2, t.xsin2, 64, 2048.0L);

  const long double pi = 3.141592653589793238462643383279503L;
  for (int m = 0; m < 7; ++m) {
    const int h = 1 << m;
    for (int k = 0; k < h; ++k) {
      const long double angle = -pi * k / h;
      t.fft_twiddle_re[m][k] = exact_zero(std::cos(angle));
      t.fft_twiddle_im[m][k] = exact_zero(std::sin(angle));
    }
  }
  return t;
}

}  // namespace

const transform_factor_tables transform_factors = build_transform_factors();

}  // namespace ac3

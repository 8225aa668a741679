// The transform window: the first half of the 512-sample Kaiser-Bessel-derived window with alpha 5,
// computed from its definition in double precision when the library is loaded. (The five decimals
// that the standard prints would cost the output a good part of a bit at the 16-bit limit.)
#include <array>
#include <cmath>

#include "ac3/imdct_tables.h"

namespace ac3 {

namespace {

// The modified Bessel function of the first kind, order 0, by its power series: the sum of
// ((x/2)^k / k!)^2. For the arguments here (up to 5 pi) the terms fall below the double's
// precision well before k = 60.
double bessel_i0(double x) {
  const double half = x / 2.0;
  double term = 1.0, sum = 1.0;
  for (int k = 1; k < 60; ++k) {
    term *= half / k;
    sum += term * term;
  }
  return sum;
}

// window[n] = sqrt(K(0) + ... + K(n)) / sqrt(K(0) + ... + K(256)), with the Kaiser-Bessel kernel
// K(j) = I0(pi * alpha * sqrt(1 - (2j/256 - 1)^2)), j = 0..256.
std::array<float, 256> kbd_window() {
  constexpr double kAlpha = 5.0;
  const double pi = std::acos(-1.0);
  double kernel_sums[257];
  double sum = 0.0;
  for (int j = 0; j <= 256; ++j) {
    const double t = 2.0 * j / 256.0 - 1.0;
    sum += bessel_i0(pi * kAlpha * std::sqrt(1.0 - t * t));
    kernel_sums[j] = sum;
  }
  std::array<float, 256> w{};
  for (int n = 0; n < 256; ++n) w[static_cast<std::size_t>(n)] = static_cast<float>(std::sqrt(kernel_sums[n] / sum));
  return w;
}

window_factor_tables arrange(const std::array<float, 256>& w) {
  window_factor_tables t{};
  for (std::size_t n = 0; n < 64; ++n) {
    t.out_even[n] = -2.0f * w[2 * n];
    t.out_odd[n] = 2.0f * w[2 * n + 1];
    t.out_even_high[n] = -2.0f * w[128 + 2 * n];
    t.out_odd_high[n] = 2.0f * w[129 + 2 * n];
    t.delay_even[n] = -w[255 - 2 * n];
    t.delay_odd[n] = w[254 - 2 * n];
    t.delay_even_high[n] = w[127 - 2 * n];
    t.delay_odd_high[n] = -w[126 - 2 * n];
  }
  return t;
}

}  // namespace

// In this order: the arranged tables are made from the window.
const std::array<float, 256> window = kbd_window();
const window_factor_tables window_factors = arrange(window);

}  // namespace ac3

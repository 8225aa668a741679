// Inverse transform: a quarter-length complex FFT between pre- and post-twiddles, then the window
// and overlap-add with the channel's delay buffer. Works in place in coeff_buffer.
#include "ac3/imdct.h"

#include "ac3/imdct_tables.h"
#include "ac3/stages.h"

namespace ac3 {

float delay_buffer[kMaxFbwChannels][kBins];

namespace {

// The work buffer, shared by all channels: Z[0..127], or Z1 = Z[0..63] and Z2 = Z[64..127].
complex_f work[128];

// In-place radix-2 FFT of size 2^stages on z, input in bit-reversed order.
inline void fft(complex_f* z, int stages) {
  const int size = 1 << stages;
  for (int m = 0; m < stages; ++m) {
    const int h = 1 << m;
    const complex_f* w = fft_twiddle[m];
    for (int k = 0; k < h; ++k) {
      const float wr = w[k].re;
      const float wi = w[k].im;
      for (int i = k; i < size; i += 2 * h) {
        const complex_f a = z[i];
        const complex_f b = z[i + h];
        const float tr = b.re * wr - b.im * wi;
        const float ti = b.re * wi + b.im * wr;
        z[i + h] = complex_f{a.re - tr, a.im - ti};
        z[i] = complex_f{a.re + tr, a.im + ti};
      }
    }
  }
}

template <std::size_t N>
inline void bit_reverse(complex_f* z, const std::array<uint8_t, N>& rev) {
  for (std::size_t i = 0; i < N; ++i) {
    const std::size_t r = rev[i];
    if (r < i) {
      const complex_f t = z[i];
      z[i] = z[r];
      z[r] = t;
    }
  }
}

inline void post_twiddle(complex_f* z, const float* xcos, const float* xsin, int count) {
  for (int k = 0; k < count; ++k) {
    const float re = z[k].re;
    const float im = z[k].im;
    z[k].re = re * xcos[k] + im * xsin[k];
    z[k].im = re * xsin[k] - im * xcos[k];
  }
}

}  // namespace

void imdct_long(const float* in, float* out, float* delay) {
  complex_f* z = work;
  for (int k = 0; k < 128; ++k) {
    const float x_even = in[2 * k];
    const float x_odd = in[255 - 2 * k];
    z[k].re = x_odd * xcos1[k] - x_even * xsin1[k];
    z[k].im = -(x_even * xcos1[k] + x_odd * xsin1[k]);
  }
  bit_reverse(z, bitrev7);
  fft(z, 7);
  post_twiddle(z, xcos1, xsin1, 128);

  for (int n = 0; n < 64; ++n) {
    out[2 * n] = 2.0f * (delay[2 * n] - z[64 + n].im * window[2 * n]);
    out[2 * n + 1] = 2.0f * (delay[2 * n + 1] + z[63 - n].re * window[2 * n + 1]);
    out[128 + 2 * n] = 2.0f * (delay[128 + 2 * n] - z[n].re * window[128 + 2 * n]);
    out[129 + 2 * n] = 2.0f * (delay[129 + 2 * n] + z[127 - n].im * window[129 + 2 * n]);
  }
  for (int n = 0; n < 64; ++n) {
    delay[2 * n] = -z[64 + n].re * window[255 - 2 * n];
    delay[2 * n + 1] = z[63 - n].im * window[254 - 2 * n];
    delay[128 + 2 * n] = z[n].im * window[127 - 2 * n];
    delay[129 + 2 * n] = -z[127 - n].re * window[126 - 2 * n];
  }
}

void imdct_short(const float* in, float* out, float* delay) {
  complex_f* z1 = work;
  complex_f* z2 = work + 64;
  for (int k = 0; k < 64; ++k) {
    z1[k].re = in[254 - 4 * k] * xcos2[k] - in[4 * k] * xsin2[k];
    z1[k].im = -(in[4 * k] * xcos2[k] + in[254 - 4 * k] * xsin2[k]);
    z2[k].re = in[255 - 4 * k] * xcos2[k] - in[4 * k + 1] * xsin2[k];
    z2[k].im = -(in[4 * k + 1] * xcos2[k] + in[255 - 4 * k] * xsin2[k]);
  }
  bit_reverse(z1, bitrev6);
  bit_reverse(z2, bitrev6);
  fft(z1, 6);
  fft(z2, 6);
  post_twiddle(z1, xcos2, xsin2, 64);
  post_twiddle(z2, xcos2, xsin2, 64);

  for (int n = 0; n < 64; ++n) {
    out[2 * n] = 2.0f * (delay[2 * n] - z1[n].im * window[2 * n]);
    out[2 * n + 1] = 2.0f * (delay[2 * n + 1] + z1[63 - n].re * window[2 * n + 1]);
    out[128 + 2 * n] = 2.0f * (delay[128 + 2 * n] - z1[n].re * window[128 + 2 * n]);
    out[129 + 2 * n] = 2.0f * (delay[129 + 2 * n] + z1[63 - n].im * window[129 + 2 * n]);
  }
  for (int n = 0; n < 64; ++n) {
    delay[2 * n] = -z2[n].re * window[255 - 2 * n];
    delay[2 * n + 1] = z2[63 - n].im * window[254 - 2 * n];
    delay[128 + 2 * n] = z2[n].im * window[127 - 2 * n];
    delay[129 + 2 * n] = -z2[63 - n].re * window[126 - 2 * n];
  }
}

void inverse_transform(const bsi& b, const audblk& ab, coeff_buffer_t& coeffs) {
  const int channels = b.nfchans <= kMaxFbwChannels ? b.nfchans : kMaxFbwChannels;
  for (int ch = 0; ch < channels; ++ch) {
    if (ab.blksw[ch])
      imdct_short(coeffs[ch], coeffs[ch], delay_buffer[ch]);
    else
      imdct_long(coeffs[ch], coeffs[ch], delay_buffer[ch]);
  }
}

}  // namespace ac3

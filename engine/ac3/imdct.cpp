// Inverse transform: a quarter-length complex FFT between pre- and post-twiddles, then the window
// and overlap-add with the channel's delay buffer. Works in place in coeff_buffer.
//
// The work buffer is kept as separate real and imaginary arrays, the bit reversal is folded into
// the pre-twiddle's stores, the first two FFT stages run together and the others group by group,
// so that the compiler can use vector instructions. Every value is computed with the same
// operations in the same order as the plain formulation, except that products with the twiddle
// 1 + 0j are left out, which can change only the sign of a zero.
#include "ac3/imdct.h"

#include <cstring>

#include "ac3/imdct_tables.h"
#include "ac3/stages.h"

namespace ac3 {

namespace {

// One transform's work buffers: Z[0..127], or Z1 = Z[0..63] and Z2 = Z[64..127], and the
// post-twiddled values.
struct transform_work {
  alignas(16) float z_re[128];
  alignas(16) float z_im[128];
  alignas(16) float p_re[128];
  alignas(16) float p_im[128];
};

// One radix-2 stage of butterflies with half-size H over Size points starting at re/im.
template <int Size, int H>
inline void fft_stage(float* re, float* im, const float* wr, const float* wi) {
  for (int g = 0; g < Size; g += 2 * H) {
    float* ar = re + g;
    float* ai = im + g;
    float* br = re + g + H;
    float* bi = im + g + H;
    for (int k = 0; k < H; ++k) {
      const float tr = br[k] * wr[k] - bi[k] * wi[k];
      const float ti = br[k] * wi[k] + bi[k] * wr[k];
      const float xr = ar[k];
      const float xi = ai[k];
      br[k] = xr - tr;
      bi[k] = xi - ti;
      ar[k] = xr + tr;
      ai[k] = xi + ti;
    }
  }
}

// The first two stages together, four points at a time. Their twiddles are 1 except the second
// one of stage 1; a product with 1 + 0j is the value itself, so it is left out.
template <int Size>
inline void fft_first_stages(float* re, float* im) {
  const float wr = transform_factors.fft_twiddle_re[1][1];
  const float wi = transform_factors.fft_twiddle_im[1][1];
  for (int g = 0; g < Size; g += 4) {
    // Stage 0: (0, 1) and (2, 3).
    const float r0 = re[g] + re[g + 1], i0 = im[g] + im[g + 1];
    const float r1 = re[g] - re[g + 1], i1 = im[g] - im[g + 1];
    const float r2 = re[g + 2] + re[g + 3], i2 = im[g + 2] + im[g + 3];
    const float r3 = re[g + 2] - re[g + 3], i3 = im[g + 2] - im[g + 3];
    // Stage 1: (0, 2) with 1, (1, 3) with the second twiddle.
    const float tr = r3 * wr - i3 * wi;
    const float ti = r3 * wi + i3 * wr;
    re[g] = r0 + r2;
    im[g] = i0 + i2;
    re[g + 2] = r0 - r2;
    im[g + 2] = i0 - i2;
    re[g + 1] = r1 + tr;
    im[g + 1] = i1 + ti;
    re[g + 3] = r1 - tr;
    im[g + 3] = i1 - ti;
  }
}

template <int Size>
inline void fft(float* re, float* im) {
  fft_first_stages<Size>(re, im);
  const transform_factor_tables& t = transform_factors;
  fft_stage<Size, 4>(re, im, t.fft_twiddle_re[2], t.fft_twiddle_im[2]);
  fft_stage<Size, 8>(re, im, t.fft_twiddle_re[3], t.fft_twiddle_im[3]);
  fft_stage<Size, 16>(re, im, t.fft_twiddle_re[4], t.fft_twiddle_im[4]);
  fft_stage<Size, 32>(re, im, t.fft_twiddle_re[5], t.fft_twiddle_im[5]);
  if constexpr (Size == 128) fft_stage<Size, 64>(re, im, t.fft_twiddle_re[6], t.fft_twiddle_im[6]);
}

template <int Count>
inline void post_twiddle(const float* re, const float* im, float* out_re, float* out_im, const float* xcos,
                         const float* xsin) {
  for (int k = 0; k < Count; ++k) {
    out_re[k] = re[k] * xcos[k] + im[k] * xsin[k];
    out_im[k] = re[k] * xsin[k] - im[k] * xcos[k];
  }
}

// Window and overlap-add. The output pairs value n of a (imaginary parts) with value 63 - n of b
// (real parts) and the reverse; the new delay does the same with c (real) and d (imaginary).
// Long transform: a = c = Z[64..127], b = d = Z[0..63]; short: a = b = Z1, c = d = Z2. The inputs
// are the post-twiddle arrays, never out or delay, so the pointers are declared not to overlap and
// the loops run on vectors. Every output is written after all reads of the delay it replaces.
// With Add, the block's windowed samples are added to out and its overlap to the delay, leaving the
// old overlap out: a second transform length added to what the first one left.
template <bool Add>
inline void window_overlap(const float* __restrict a_im, const float* __restrict b_re,
                           const float* __restrict c_re, const float* __restrict d_im, float* __restrict out,
                           float* __restrict delay) {
  for (int n = 0; n < 64; ++n) {
    if constexpr (Add) {
      out[2 * n] += 2.0f * -(a_im[n] * window[2 * n]);
      out[2 * n + 1] += 2.0f * (b_re[63 - n] * window[2 * n + 1]);
      out[128 + 2 * n] += 2.0f * -(b_re[n] * window[128 + 2 * n]);
      out[129 + 2 * n] += 2.0f * (a_im[63 - n] * window[129 + 2 * n]);
    } else {
      out[2 * n] = 2.0f * (delay[2 * n] - a_im[n] * window[2 * n]);
      out[2 * n + 1] = 2.0f * (delay[2 * n + 1] + b_re[63 - n] * window[2 * n + 1]);
      out[128 + 2 * n] = 2.0f * (delay[128 + 2 * n] - b_re[n] * window[128 + 2 * n]);
      out[129 + 2 * n] = 2.0f * (delay[129 + 2 * n] + a_im[63 - n] * window[129 + 2 * n]);
    }
  }
  for (int n = 0; n < 64; ++n) {
    const float d0 = -c_re[n] * window[255 - 2 * n];
    const float d1 = d_im[63 - n] * window[254 - 2 * n];
    const float d2 = d_im[n] * window[127 - 2 * n];
    const float d3 = -c_re[63 - n] * window[126 - 2 * n];
    if constexpr (Add) {
      delay[2 * n] += d0;
      delay[2 * n + 1] += d1;
      delay[128 + 2 * n] += d2;
      delay[129 + 2 * n] += d3;
    } else {
      delay[2 * n] = d0;
      delay[2 * n + 1] = d1;
      delay[128 + 2 * n] = d2;
      delay[129 + 2 * n] = d3;
    }
  }
}

template <bool Add>
void transform_long(const float* in, float* out, float* delay) {
  transform_work w;
  float* z_re = w.z_re;
  float* z_im = w.z_im;
  float* p_re = w.p_re;
  float* p_im = w.p_im;
  const float* xcos1 = transform_factors.xcos1;
  const float* xsin1 = transform_factors.xsin1;
  for (int k = 0; k < 128; ++k) {
    const float x_even = in[2 * k];
    const float x_odd = in[255 - 2 * k];
    const int r = bitrev7[static_cast<std::size_t>(k)];
    z_re[r] = x_odd * xcos1[k] - x_even * xsin1[k];
    z_im[r] = -(x_even * xcos1[k] + x_odd * xsin1[k]);
  }
  fft<128>(z_re, z_im);
  post_twiddle<128>(z_re, z_im, p_re, p_im, xcos1, xsin1);
  window_overlap<Add>(p_im + 64, p_re, p_re + 64, p_im, out, delay);
}

template <bool Add>
void transform_short(const float* in, float* out, float* delay) {
  transform_work w;
  float* z1_re = w.z_re;
  float* z1_im = w.z_im;
  float* z2_re = w.z_re + 64;
  float* z2_im = w.z_im + 64;
  const float* xcos2 = transform_factors.xcos2;
  const float* xsin2 = transform_factors.xsin2;
  for (int k = 0; k < 64; ++k) {
    const int r = bitrev6[static_cast<std::size_t>(k)];
    z1_re[r] = in[254 - 4 * k] * xcos2[k] - in[4 * k] * xsin2[k];
    z1_im[r] = -(in[4 * k] * xcos2[k] + in[254 - 4 * k] * xsin2[k]);
    z2_re[r] = in[255 - 4 * k] * xcos2[k] - in[4 * k + 1] * xsin2[k];
    z2_im[r] = -(in[4 * k + 1] * xcos2[k] + in[255 - 4 * k] * xsin2[k]);
  }
  fft<64>(z1_re, z1_im);
  fft<64>(z2_re, z2_im);
  float* p1_re = w.p_re;
  float* p1_im = w.p_im;
  float* p2_re = w.p_re + 64;
  float* p2_im = w.p_im + 64;
  post_twiddle<64>(z1_re, z1_im, p1_re, p1_im, xcos2, xsin2);
  post_twiddle<64>(z2_re, z2_im, p2_re, p2_im, xcos2, xsin2);
  window_overlap<Add>(p1_im, p1_re, p2_re, p2_im, out, delay);
}

}  // namespace

void imdct_long(const float* in, float* out, float* delay) { transform_long<false>(in, out, delay); }
void imdct_short(const float* in, float* out, float* delay) { transform_short<false>(in, out, delay); }
void imdct_long_add(const float* in, float* out, float* delay) { transform_long<true>(in, out, delay); }
void imdct_short_add(const float* in, float* out, float* delay) { transform_short<true>(in, out, delay); }

void inverse_transform(decoder& d) {
  const folded_block& f = d.folded;
  const int outputs = f.outputs == 1 ? 1 : kOutputs;
  for (int o = 0; o < outputs; ++o) {
    float* y = d.samples[o];
    float* delay = d.delay[o];
    const bool long_used = f.used[o][kLongTransform];
    if (long_used) imdct_long(f.coeffs[o][kLongTransform], y, delay);
    if (f.used[o][kShortTransform]) {
      if (long_used)
        imdct_short_add(f.coeffs[o][kShortTransform], y, delay);
      else
        imdct_short(f.coeffs[o][kShortTransform], y, delay);
    }
  }
  // A mono programme is heard on both sides: both outputs carry its overlap into the next block,
  // whatever mode that block has.
  if (outputs == 1) std::memcpy(d.delay[1], d.delay[0], sizeof d.delay[1]);
}

}  // namespace ac3

// The inverse transform written once against a four-float vector type V (f32x4.h): pre-twiddle,
// a radix-4 FFT of 128 points (or two of 64, with a last radix-2 stage for 128), post-twiddle,
// window and overlap-add. Every value is
// the result of the same operations in the same order whichever V is used.
//
// The work buffer keeps real and imaginary parts apart, so that four butterflies of a stage are one
// vector operation. The FFT's input order (bit-reversed) is made by the pre-twiddle's stores: it
// computes Z four consecutive k at a time, does the first two stages (whose butterflies lie within
// groups of four) on four groups at once, and stores each group where it belongs. The other stages
// run on whole vectors, two at a time. Butterflies with the twiddle -j are computed as swaps and
// sign changes.
#pragma once

#include "ac3/f32x4.h"
#include "ac3/imdct_tables.h"

namespace ac3::transform_kernel {

struct work {
  alignas(16) float z_re[128];
  alignas(16) float z_im[128];
  alignas(16) float p_re[128];  // post-twiddled
  alignas(16) float p_im[128];
};

// 3-bit and 2-bit reversal.
constexpr int rev3(int m) { return ((m & 1) << 2) | (m & 2) | ((m >> 2) & 1); }
constexpr int rev2(int m) { return ((m & 1) << 1) | ((m >> 1) & 1); }

// Stages 0 and 1 of four groups of four points. Lane l of e0..e3 holds element 0..3 of group l.
// Stage 0 pairs elements (0, 1) and (2, 3) with the twiddle 1; stage 1 pairs (0, 2) with 1 and
// (1, 3) with -j. Each group's four results are stored at re/im + at[l].
template <class V>
inline void first_stages(V e0r, V e0i, V e1r, V e1i, V e2r, V e2i, V e3r, V e3i, float* re, float* im,
                         const int (&at)[4]) {
  const V s0r = e0r + e1r, s0i = e0i + e1i, d0r = e0r - e1r, d0i = e0i - e1i;
  const V s1r = e2r + e3r, s1i = e2i + e3i, d1r = e2r - e3r, d1i = e2i - e3i;
  V o0r = s0r + s1r, o0i = s0i + s1i;
  V o2r = s0r - s1r, o2i = s0i - s1i;
  V o1r = d0r + d1i, o1i = d0i - d1r;  // d0 + (-j) d1
  V o3r = d0r - d1i, o3i = d0i + d1r;  // d0 - (-j) d1
  transpose(o0r, o1r, o2r, o3r);
  transpose(o0i, o1i, o2i, o3i);
  o0r.store(re + at[0]);
  o1r.store(re + at[1]);
  o2r.store(re + at[2]);
  o3r.store(re + at[3]);
  o0i.store(im + at[0]);
  o1i.store(im + at[1]);
  o2i.store(im + at[2]);
  o3i.store(im + at[3]);
}

// Long transform, k = 0..127: Z[k].re = X[255 - 2k] xcos1[k] - X[2k] xsin1[k];
// Z[k].im = -(X[2k] xcos1[k] + X[255 - 2k] xsin1[k]), stored at the 7-bit reversal of k. The
// elements of a group (four consecutive reversed positions) are k = r, r + 64, r + 32, r + 96.
template <class V>
inline void pre_twiddle_long(const float* in, float* re, float* im) {
  const float* xcos = transform_factors.xcos1;
  const float* xsin = transform_factors.xsin1;
  for (int m = 0; m < 8; ++m) {
    V zr[4], zi[4];  // k from 4m + 32q, q = 0..3
    for (int q = 0; q < 4; ++q) {
      const int k = 4 * m + 32 * q;
      const V x_even = even_lanes(V::load(in + 2 * k), V::load(in + 2 * k + 4));
      const V x_odd = reverse(odd_lanes(V::load(in + 248 - 2 * k), V::load(in + 252 - 2 * k)));
      const V c = V::load(xcos + k), s = V::load(xsin + k);
      zr[q] = x_odd * c - x_even * s;
      zi[q] = negate(x_even * c + x_odd * s);
    }
    // Lane l is k = 4m + l, whose group starts at 4 * rev5(4m + l) = 4 rev3(m) + (0, 64, 32, 96)[l].
    const int base = 4 * rev3(m);
    const int at[4] = {base, base + 64, base + 32, base + 96};
    first_stages(zr[0], zi[0], zr[2], zi[2], zr[1], zi[1], zr[3], zi[3], re, im, at);
  }
}

// Short transforms, k = 0..63: Z1[k] from X[254 - 4k] and X[4k], Z2[k] from X[255 - 4k] and
// X[4k + 1], each with xcos2/xsin2 as in the long form, stored at the 6-bit reversal of k within
// their half (Z1 in 0..63, Z2 in 64..127). A group's elements are k = r, r + 32, r + 16, r + 48.
template <class V>
inline void pre_twiddle_short(const float* in, float* re, float* im) {
  const float* xcos = transform_factors.xcos2;
  const float* xsin = transform_factors.xsin2;
  for (int m = 0; m < 4; ++m) {
    V z1r[4], z1i[4], z2r[4], z2i[4];  // k from 4m + 16q, q = 0..3
    for (int q = 0; q < 4; ++q) {
      const int k = 4 * m + 16 * q;
      V a0 = V::load(in + 4 * k), a1 = V::load(in + 4 * k + 4), a2 = V::load(in + 4 * k + 8),
        a3 = V::load(in + 4 * k + 12);
      transpose(a0, a1, a2, a3);  // a0: X[4k], a1: X[4k + 1] for the four k
      V b0 = V::load(in + 240 - 4 * k), b1 = V::load(in + 244 - 4 * k), b2 = V::load(in + 248 - 4 * k),
        b3 = V::load(in + 252 - 4 * k);
      transpose(b0, b1, b2, b3);  // b2: X[242 - 4k ...], b3: X[243 - 4k ...], in rising order
      const V x1_high = reverse(b2), x2_high = reverse(b3);
      const V c = V::load(xcos + k), s = V::load(xsin + k);
      z1r[q] = x1_high * c - a0 * s;
      z1i[q] = negate(a0 * c + x1_high * s);
      z2r[q] = x2_high * c - a1 * s;
      z2i[q] = negate(a1 * c + x2_high * s);
    }
    // Lane l is k = 4m + l, whose group starts at 4 * rev4(4m + l) = 4 rev2(m) + (0, 32, 16, 48)[l].
    const int base = 4 * rev2(m);
    const int at1[4] = {base, base + 32, base + 16, base + 48};
    const int at2[4] = {64 + base, 64 + base + 32, 64 + base + 16, 64 + base + 48};
    first_stages(z1r[0], z1i[0], z1r[2], z1i[2], z1r[1], z1i[1], z1r[3], z1i[3], re, im, at1);
    first_stages(z2r[0], z2i[0], z2r[2], z2i[2], z2r[1], z2i[1], z2r[3], z2i[3], re, im, at2);
  }
}

// A radix-2 stage whose butterflies span H points (H = 2^m >= 4), over all 128 points: for each
// block of 2H, t = Z[i + H] W[m][k]; Z[i + H] = Z[i] - t; Z[i] = Z[i] + t. Stages up to H = 32
// stay within each half, so they serve the two 64-point transforms of the short form too.
template <class V, int M>
inline void fft_stage(float* re, float* im) {
  constexpr int H = 1 << M;
  const float* wr = transform_factors.fft_twiddle_re[M];
  const float* wi = transform_factors.fft_twiddle_im[M];
  for (int g = 0; g < 128; g += 2 * H) {
    for (int k = 0; k < H; k += 4) {
      float* ar = re + g + k;
      float* ai = im + g + k;
      float* br = ar + H;
      float* bi = ai + H;
      const V w_r = V::load(wr + k), w_i = V::load(wi + k);
      const V xr = V::load(br), xi = V::load(bi);
      const V tr = xr * w_r - xi * w_i;
      const V ti = xr * w_i + xi * w_r;
      const V yr = V::load(ar), yi = V::load(ai);
      (yr - tr).store(br);
      (yi - ti).store(bi);
      (yr + tr).store(ar);
      (yi + ti).store(ai);
    }
  }
}

// The complex product (xr + j xi)(wr + j wi), as a radix-2 stage computes it.
template <class V>
inline void complex_product(V xr, V xi, V wr, V wi, V& tr, V& ti) {
  tr = xr * wr - xi * wi;
  ti = xr * wi + xi * wr;
}

// Stages M and M + 1 together (radix 4): for each block of 4H points (H = 2^M) and k < H, the
// four points k, k + H, k + 2H, k + 3H go through stage M (pairs (0, 1) and (2, 3), twiddle
// W[M][k]) and then stage M + 1 (pairs (0, 2) with W[M + 1][k], (1, 3) with W[M + 1][k + H])
// without being stored in between. The operations are those of the two radix-2 stages, in the same
// order, so the results are too; only the loads and stores between the stages are saved.
template <class V, int M>
inline void fft_radix4_stages(float* re, float* im) {
  constexpr int H = 1 << M;
  const transform_factor_tables& t = transform_factors;
  for (int g = 0; g < 128; g += 4 * H) {
    for (int k = 0; k < H; k += 4) {
      float* r[4] = {re + g + k, re + g + k + H, re + g + k + 2 * H, re + g + k + 3 * H};
      float* i[4] = {im + g + k, im + g + k + H, im + g + k + 2 * H, im + g + k + 3 * H};
      const V w1r = V::load(t.fft_twiddle_re[M] + k), w1i = V::load(t.fft_twiddle_im[M] + k);
      V tr, ti;
      // Stage M.
      complex_product(V::load(r[1]), V::load(i[1]), w1r, w1i, tr, ti);
      const V x0r = V::load(r[0]), x0i = V::load(i[0]);
      const V a0r = x0r + tr, a0i = x0i + ti, a1r = x0r - tr, a1i = x0i - ti;
      complex_product(V::load(r[3]), V::load(i[3]), w1r, w1i, tr, ti);
      const V x2r = V::load(r[2]), x2i = V::load(i[2]);
      const V a2r = x2r + tr, a2i = x2i + ti, a3r = x2r - tr, a3i = x2i - ti;
      // Stage M + 1.
      complex_product(a2r, a2i, V::load(t.fft_twiddle_re[M + 1] + k), V::load(t.fft_twiddle_im[M + 1] + k), tr, ti);
      (a0r - tr).store(r[2]);
      (a0i - ti).store(i[2]);
      (a0r + tr).store(r[0]);
      (a0i + ti).store(i[0]);
      complex_product(a3r, a3i, V::load(t.fft_twiddle_re[M + 1] + k + H), V::load(t.fft_twiddle_im[M + 1] + k + H), tr,
                      ti);
      (a1r - tr).store(r[3]);
      (a1i - ti).store(i[3]);
      (a1r + tr).store(r[1]);
      (a1i + ti).store(i[1]);
    }
  }
}

// Count points from re/im: out.re = re xcos + im xsin; out.im = re xsin - im xcos.
template <class V>
inline void post_twiddle(const float* re, const float* im, float* out_re, float* out_im, const float* xcos,
                         const float* xsin, int count) {
  for (int k = 0; k < count; k += 4) {
    const V r = V::load(re + k), i = V::load(im + k), c = V::load(xcos + k), s = V::load(xsin + k);
    (r * c + i * s).store(out_re + k);
    (r * s - i * c).store(out_im + k);
  }
}

// Window and overlap-add (see window_factor_tables for the formulas). The output pairs value n of
// a (imaginary parts) with value 63 - n of b (real parts) and the reverse; the new delay does the
// same with c (real) and d (imaginary). Long transform: a = c = Z[64..127], b = d = Z[0..63];
// short: a = b = Z1, c = d = Z2. Each step reads and writes out and delay at the same eight
// positions of each half, the old delay before the new one replaces it. With Add, the block's
// windowed samples are added to out and its overlap to the delay, the old overlap left out.
template <class V, bool Add>
inline void window_overlap(const float* a_im, const float* b_re, const float* c_re, const float* d_im, float* out,
                           float* delay) {
  const window_factor_tables& w = window_factors;
  for (int n = 0; n < 64; n += 4) {
    const V a = V::load(a_im + n), a_rev = reverse(V::load(a_im + 60 - n));
    const V b = V::load(b_re + n), b_rev = reverse(V::load(b_re + 60 - n));
    const V c = V::load(c_re + n), c_rev = reverse(V::load(c_re + 60 - n));
    const V d = V::load(d_im + n), d_rev = reverse(V::load(d_im + 60 - n));
    const V low_even = a * V::load(w.out_even + n), low_odd = b_rev * V::load(w.out_odd + n);
    const V high_even = b * V::load(w.out_even_high + n), high_odd = a_rev * V::load(w.out_odd_high + n);
    const V next_low_even = c * V::load(w.delay_even + n), next_low_odd = d_rev * V::load(w.delay_odd + n);
    const V next_high_even = d * V::load(w.delay_even_high + n);
    const V next_high_odd = c_rev * V::load(w.delay_odd_high + n);
    const V low[2] = {interleave_low(low_even, low_odd), interleave_high(low_even, low_odd)};
    const V high[2] = {interleave_low(high_even, high_odd), interleave_high(high_even, high_odd)};
    const V next_low[2] = {interleave_low(next_low_even, next_low_odd), interleave_high(next_low_even, next_low_odd)};
    const V next_high[2] = {interleave_low(next_high_even, next_high_odd),
                            interleave_high(next_high_even, next_high_odd)};
    for (int half = 0; half < 2; ++half) {
      float* out_low = out + 2 * n + 4 * half;
      float* out_high = out + 128 + 2 * n + 4 * half;
      float* delay_low = delay + 2 * n + 4 * half;
      float* delay_high = delay + 128 + 2 * n + 4 * half;
      if constexpr (Add) {
        (V::load(out_low) + low[half]).store(out_low);
        (V::load(out_high) + high[half]).store(out_high);
        (V::load(delay_low) + next_low[half]).store(delay_low);
        (V::load(delay_high) + next_high[half]).store(delay_high);
      } else {
        const V old_low = V::load(delay_low), old_high = V::load(delay_high);
        ((old_low + old_low) + low[half]).store(out_low);
        ((old_high + old_high) + high[half]).store(out_high);
        next_low[half].store(delay_low);
        next_high[half].store(delay_high);
      }
    }
  }
}

template <class V, bool Add>
inline void transform_long(const float* in, float* out, float* delay) {
  work w;
  pre_twiddle_long<V>(in, w.z_re, w.z_im);
  fft_radix4_stages<V, 2>(w.z_re, w.z_im);
  fft_radix4_stages<V, 4>(w.z_re, w.z_im);
  fft_stage<V, 6>(w.z_re, w.z_im);
  post_twiddle<V>(w.z_re, w.z_im, w.p_re, w.p_im, transform_factors.xcos1, transform_factors.xsin1, 128);
  window_overlap<V, Add>(w.p_im + 64, w.p_re, w.p_re + 64, w.p_im, out, delay);
}

template <class V, bool Add>
inline void transform_short(const float* in, float* out, float* delay) {
  work w;
  pre_twiddle_short<V>(in, w.z_re, w.z_im);
  fft_radix4_stages<V, 2>(w.z_re, w.z_im);
  fft_radix4_stages<V, 4>(w.z_re, w.z_im);
  const float* xcos = transform_factors.xcos2;
  const float* xsin = transform_factors.xsin2;
  post_twiddle<V>(w.z_re, w.z_im, w.p_re, w.p_im, xcos, xsin, 64);
  post_twiddle<V>(w.z_re + 64, w.z_im + 64, w.p_re + 64, w.p_im + 64, xcos, xsin, 64);
  window_overlap<V, Add>(w.p_im, w.p_re, w.p_re + 64, w.p_im + 64, out, delay);
}

}  // namespace ac3::transform_kernel

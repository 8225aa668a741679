// Four floats handled as one value, in two forms with the same operations: SSE2 registers (the
// x86-64 baseline) and a plain array that any compiler takes (and may vectorise itself). Every
// operation is one IEEE single-precision operation per lane, or a move of lanes, so code written
// against either form gives bit for bit the same results.
//
// The SSE2 form is built where the compiler targets SSE2, unless QELP_PORTABLE_VECTORS is set
// (the build option of that name); QELP_HAVE_SSE2 says whether it was.
#pragma once

#if defined(__SSE2__) && !defined(QELP_PORTABLE_VECTORS)
#define QELP_HAVE_SSE2 1
#include <emmintrin.h>
#else
#define QELP_HAVE_SSE2 0
#endif

namespace ac3 {

// Loads and stores take any address; lanes are numbered from the lowest address.
struct f32x4_portable {
  float v[4];

  static f32x4_portable load(const float* p) { return {{p[0], p[1], p[2], p[3]}}; }
  void store(float* p) const {
    for (int i = 0; i < 4; ++i) p[i] = v[i];
  }
  friend f32x4_portable operator+(const f32x4_portable& a, const f32x4_portable& b) {
    return {{a.v[0] + b.v[0], a.v[1] + b.v[1], a.v[2] + b.v[2], a.v[3] + b.v[3]}};
  }
  friend f32x4_portable operator-(const f32x4_portable& a, const f32x4_portable& b) {
    return {{a.v[0] - b.v[0], a.v[1] - b.v[1], a.v[2] - b.v[2], a.v[3] - b.v[3]}};
  }
  friend f32x4_portable operator*(const f32x4_portable& a, const f32x4_portable& b) {
    return {{a.v[0] * b.v[0], a.v[1] * b.v[1], a.v[2] * b.v[2], a.v[3] * b.v[3]}};
  }
  // The sign of every lane flipped (exact, zeros included).
  friend f32x4_portable negate(const f32x4_portable& a) { return {{-a.v[0], -a.v[1], -a.v[2], -a.v[3]}}; }
  // Lanes 3, 2, 1, 0.
  friend f32x4_portable reverse(const f32x4_portable& a) { return {{a.v[3], a.v[2], a.v[1], a.v[0]}}; }
  // a0, a2, b0, b2 and a1, a3, b1, b3: the even and the odd elements of the eight floats a, b.
  friend f32x4_portable even_lanes(const f32x4_portable& a, const f32x4_portable& b) {
    return {{a.v[0], a.v[2], b.v[0], b.v[2]}};
  }
  friend f32x4_portable odd_lanes(const f32x4_portable& a, const f32x4_portable& b) {
    return {{a.v[1], a.v[3], b.v[1], b.v[3]}};
  }
  // a0, b0, a1, b1 and a2, b2, a3, b3: the inverse of even_lanes and odd_lanes.
  friend f32x4_portable interleave_low(const f32x4_portable& a, const f32x4_portable& b) {
    return {{a.v[0], b.v[0], a.v[1], b.v[1]}};
  }
  friend f32x4_portable interleave_high(const f32x4_portable& a, const f32x4_portable& b) {
    return {{a.v[2], b.v[2], a.v[3], b.v[3]}};
  }
  // Rows a, b, c, d become columns.
  friend void transpose(f32x4_portable& a, f32x4_portable& b, f32x4_portable& c, f32x4_portable& d) {
    const f32x4_portable ta = a, tb = b, tc = c, td = d;
    a = {{ta.v[0], tb.v[0], tc.v[0], td.v[0]}};
    b = {{ta.v[1], tb.v[1], tc.v[1], td.v[1]}};
    c = {{ta.v[2], tb.v[2], tc.v[2], td.v[2]}};
    d = {{ta.v[3], tb.v[3], tc.v[3], td.v[3]}};
  }
};

#if QELP_HAVE_SSE2
struct f32x4_sse2 {
  __m128 v;

  static f32x4_sse2 load(const float* p) { return {_mm_loadu_ps(p)}; }
  void store(float* p) const { _mm_storeu_ps(p, v); }
  friend f32x4_sse2 operator+(f32x4_sse2 a, f32x4_sse2 b) { return {_mm_add_ps(a.v, b.v)}; }
  friend f32x4_sse2 operator-(f32x4_sse2 a, f32x4_sse2 b) { return {_mm_sub_ps(a.v, b.v)}; }
  friend f32x4_sse2 operator*(f32x4_sse2 a, f32x4_sse2 b) { return {_mm_mul_ps(a.v, b.v)}; }
  friend f32x4_sse2 negate(f32x4_sse2 a) { return {_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))}; }
  friend f32x4_sse2 reverse(f32x4_sse2 a) { return {_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(0, 1, 2, 3))}; }
  friend f32x4_sse2 even_lanes(f32x4_sse2 a, f32x4_sse2 b) { return {_mm_shuffle_ps(a.v, b.v, _MM_SHUFFLE(2, 0, 2, 0))}; }
  friend f32x4_sse2 odd_lanes(f32x4_sse2 a, f32x4_sse2 b) { return {_mm_shuffle_ps(a.v, b.v, _MM_SHUFFLE(3, 1, 3, 1))}; }
  friend f32x4_sse2 interleave_low(f32x4_sse2 a, f32x4_sse2 b) { return {_mm_unpacklo_ps(a.v, b.v)}; }
  friend f32x4_sse2 interleave_high(f32x4_sse2 a, f32x4_sse2 b) { return {_mm_unpackhi_ps(a.v, b.v)}; }
  friend void transpose(f32x4_sse2& a, f32x4_sse2& b, f32x4_sse2& c, f32x4_sse2& d) { _MM_TRANSPOSE4_PS(a.v, b.v, c.v, d.v); }
};
#endif

}  // namespace ac3

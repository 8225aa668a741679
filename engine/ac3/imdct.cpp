// Inverse transform of each output's folded coefficients (transform_kernel.h), on SSE2 vectors
// where the build has them and on the portable vector form otherwise or when the decoder asks
// for it. Both give the same bits.
#include "ac3/imdct.h"

#include <cstring>

#include "ac3/stages.h"
#include "ac3/transform_kernel.h"

namespace ac3 {

namespace {

#if QELP_HAVE_SSE2
using native_vector = f32x4_sse2;
#else
using native_vector = f32x4_portable;
#endif

template <class V>
void transform_outputs(decoder& d) {
  using transform_kernel::transform_long;
  using transform_kernel::transform_short;
  const folded_block& f = d.folded;
  const int outputs = f.outputs == 1 ? 1 : kOutputs;
  for (int o = 0; o < outputs; ++o) {
    float* y = d.samples[o];
    float* delay = d.delay[o];
    const bool long_used = f.used[o][kLongTransform];
    if (long_used) transform_long<V, false>(f.coeffs[o][kLongTransform], y, delay);
    if (f.used[o][kShortTransform]) {
      if (long_used)
        transform_short<V, true>(f.coeffs[o][kShortTransform], y, delay);
      else
        transform_short<V, false>(f.coeffs[o][kShortTransform], y, delay);
    }
  }
  // A mono programme is heard on both sides: both outputs carry its overlap into the next block,
  // whatever mode that block has.
  if (outputs == 1) std::memcpy(d.delay[1], d.delay[0], sizeof d.delay[1]);
}

}  // namespace

void imdct_long(const float* in, float* out, float* delay) {
  transform_kernel::transform_long<native_vector, false>(in, out, delay);
}
void imdct_short(const float* in, float* out, float* delay) {
  transform_kernel::transform_short<native_vector, false>(in, out, delay);
}
void imdct_long_add(const float* in, float* out, float* delay) {
  transform_kernel::transform_long<native_vector, true>(in, out, delay);
}
void imdct_short_add(const float* in, float* out, float* delay) {
  transform_kernel::transform_short<native_vector, true>(in, out, delay);
}

namespace portable {

void imdct_long(const float* in, float* out, float* delay) {
  transform_kernel::transform_long<f32x4_portable, false>(in, out, delay);
}
void imdct_short(const float* in, float* out, float* delay) {
  transform_kernel::transform_short<f32x4_portable, false>(in, out, delay);
}
void imdct_long_add(const float* in, float* out, float* delay) {
  transform_kernel::transform_long<f32x4_portable, true>(in, out, delay);
}
void imdct_short_add(const float* in, float* out, float* delay) {
  transform_kernel::transform_short<f32x4_portable, true>(in, out, delay);
}

}  // namespace portable

bool vectors_are_sse2() { return QELP_HAVE_SSE2 != 0; }

void inverse_transform(decoder& d) {
  if (d.portable_vectors)
    transform_outputs<f32x4_portable>(d);
  else
    transform_outputs<native_vector>(d);
}

}  // namespace ac3

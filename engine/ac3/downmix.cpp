// Fold-down of a block's full-bandwidth channels to stereo, normal or surround-compatible, and the
// outputs' conversion to 16 bits. The channels are folded down as coefficients, before the
// transform (see folded_block); the LFE channel is never mixed in. The conversion counts the
// samples it limits to full scale.
#include <cmath>
#include <cstring>

#include "ac3/f32x4.h"
#include "ac3/stages.h"

namespace ac3 {

namespace {

constexpr float kOutputScale = 32767.0f;
constexpr float kMonoScale = 23169.545f;  // 0.7071 of full scale
constexpr float kFront = 0.4142f;
constexpr float kClev[4] = {0.2928f, 0.2468f, 0.2071f, 0.2468f};
constexpr float kSlev[4] = {0.2928f, 0.2071f, 0.0f, 0.2071f};
constexpr float kSurroundCentre[4] = {0.707f, 0.596f, 0.5f, 0.596f};

// Per-channel gains of the left and right outputs, full-scale factor included.
struct fold_gains {
  float left[kMaxFbwChannels];
  float right[kMaxFbwChannels];
};

void set_row(fold_gains& g, int ch, float left, float right) {
  g.left[ch] = left * kOutputScale;
  g.right[ch] = right * kOutputScale;
}

fold_gains gains_for(const bsi& b, bool surround, uint16_t dual_mono_channel) {
  fold_gains g{};
  const float c = kClev[b.cmixlev & 3];
  const float s = kSlev[b.surmixlev & 3];
  switch (b.acmod & 7) {
    case 0:  // 1+1: one of the two programmes on both sides
      g.left[dual_mono_channel ? 1 : 0] = kMonoScale;
      g.right[dual_mono_channel ? 1 : 0] = kMonoScale;
      break;
    case 1:  // 1/0: C
      g.left[0] = g.right[0] = kMonoScale;
      break;
    case 2:  // 2/0: L, R
      set_row(g, 0, 1.0f, 0.0f);
      set_row(g, 1, 0.0f, 1.0f);
      break;
    case 3:  // 3/0: L, C, R
      if (surround) {
        const float k = kSurroundCentre[b.cmixlev & 3];
        set_row(g, 0, 0.5858f, 0.0f);
        set_row(g, 1, 0.5858f * k, 0.5858f * k);
        set_row(g, 2, 0.0f, 0.5858f);
      } else {
        set_row(g, 0, kFront, 0.0f);
        set_row(g, 1, c, c);
        set_row(g, 2, 0.0f, kFront);
      }
      break;
    case 4:  // 2/1: L, R, S
      if (surround) {
        set_row(g, 0, 0.5858f, 0.0f);
        set_row(g, 1, 0.0f, 0.5858f);
        set_row(g, 2, -0.4142f, 0.4142f);
      } else {
        set_row(g, 0, kFront, 0.0f);
        set_row(g, 1, 0.0f, kFront);
        set_row(g, 2, s, s);
      }
      break;
    case 5:  // 3/1: L, C, R, S
      if (surround) {
        set_row(g, 0, 0.4142f, 0.0f);
        set_row(g, 1, 0.2928f, 0.2928f);
        set_row(g, 2, 0.0f, 0.4142f);
        set_row(g, 3, -0.2928f, 0.2928f);
      } else {
        set_row(g, 0, kFront, 0.0f);
        set_row(g, 1, c, c);
        set_row(g, 2, 0.0f, kFront);
        set_row(g, 3, s, s);
      }
      break;
    case 6:  // 2/2: L, R, Ls, Rs
      if (surround) {
        set_row(g, 0, 0.4142f, 0.0f);
        set_row(g, 1, 0.0f, 0.4142f);
        set_row(g, 2, -0.2928f, 0.2928f);
        set_row(g, 3, -0.2928f, 0.2928f);
      } else {
        set_row(g, 0, kFront, 0.0f);
        set_row(g, 1, 0.0f, kFront);
        set_row(g, 2, s, 0.0f);
        set_row(g, 3, 0.0f, s);
      }
      break;
    default:  // 3/2: L, C, R, Ls, Rs
      if (surround) {
        set_row(g, 0, 0.3204f, 0.0f);
        set_row(g, 1, 0.2265f, 0.2265f);
        set_row(g, 2, 0.0f, 0.3204f);
        set_row(g, 3, -0.2265f, 0.2265f);
        set_row(g, 4, -0.2265f, 0.2265f);
      } else {
        set_row(g, 0, kFront, 0.0f);
        set_row(g, 1, c, c);
        set_row(g, 2, 0.0f, kFront);
        set_row(g, 3, s, 0.0f);
        set_row(g, 4, 0.0f, s);
      }
      break;
  }
  return g;
}

// sum = k[0] x[0] + k[1] x[1] + ... + k[N-1] x[N-1], bin by bin, added in that order.
template <int N>
void weighted_sum(float* __restrict sum, const float* const* x, const float* k) {
  for (int i = 0; i < kBins; ++i) {
    float v = k[0] * x[0][i];
    for (int c = 1; c < N; ++c) v += k[c] * x[c][i];
    sum[i] = v;
  }
}

// Each output's sum over the channels that reach it, kept apart by transform length, in channel
// order.
void fold_coefficients(decoder& d, const fold_gains& g) {
  folded_block& f = d.folded;
  const bsi& b = d.bsi;
  const int channels = b.nfchans <= kMaxFbwChannels ? b.nfchans : kMaxFbwChannels;
  f.outputs = (b.acmod & 7) <= 1 ? 1 : 2;
  for (int out = 0; out < kOutputs; ++out) {
    const float* gain = out == 0 ? g.left : g.right;
    for (int length = 0; length < kTransformLengths; ++length) {
      const float* x[kMaxFbwChannels];
      float k[kMaxFbwChannels];
      int n = 0;
      for (int ch = 0; out < f.outputs && ch < channels; ++ch) {
        const int channel_length = d.audblk.blksw[ch] ? kShortTransform : kLongTransform;
        if (gain[ch] == 0.0f || channel_length != length) continue;
        x[n] = d.coeffs[ch];
        k[n] = gain[ch];
        ++n;
      }
      float* sum = f.coeffs[out][length];
      switch (n) {
        case 1: weighted_sum<1>(sum, x, k); break;
        case 2: weighted_sum<2>(sum, x, k); break;
        case 3: weighted_sum<3>(sum, x, k); break;
        case 4: weighted_sum<4>(sum, x, k); break;
        case 5: weighted_sum<5>(sum, x, k); break;
        default: break;
      }
      f.used[out][length] = n > 0;
    }
    // Every mode sends each output at least one channel; should none arrive, the output still plays
    // out its overlap, as a transform of zeros.
    if (out < f.outputs && !f.used[out][kLongTransform] && !f.used[out][kShortTransform]) {
      std::memset(f.coeffs[out][kLongTransform], 0, sizeof f.coeffs[out][kLongTransform]);
      f.used[out][kLongTransform] = true;
    }
  }
}

// Full-scale value to 16 bits: truncation toward zero in range; at or beyond full scale the
// sample saturates at +32767 or -32767 (symmetric, so that -1.0 gives the same value as it
// would by truncation) instead of wrapping around into a loud click. With the SSE2 form below, the
// decoder's only saturation: every output sample passes through one of the two once.
inline int32_t to_pcm16(float v) {
  v = v < 32767.0f ? v : 32767.0f;
  v = v > -32767.0f ? v : -32767.0f;
  return static_cast<int32_t>(v);
}

// 1 when the value lies at or beyond full scale, so that to_pcm16 changes it by more than
// truncation would: its magnitude is 32768 or more (or it is no number).
inline uint32_t beyond_full_scale(float v) { return std::fabs(v) < 32768.0f ? 0u : 1u; }

// The block's pairs in the byte order of the PCM frame: each pair as one 32-bit word, left in the
// low half, little-endian. Returns how many of the 512 samples were limited to full scale.
uint32_t pcm_pairs_portable(const float* left, const float* right, uint8_t* out) {
  uint32_t clipped = 0;
  for (int i = 0; i < kBins; ++i) {
    clipped += beyond_full_scale(left[i]) + beyond_full_scale(right[i]);
    const uint32_t pair =
        (static_cast<uint32_t>(to_pcm16(left[i])) & 0xffffu) | (static_cast<uint32_t>(to_pcm16(right[i])) << 16);
    out[4 * i] = static_cast<uint8_t>(pair);
    out[4 * i + 1] = static_cast<uint8_t>(pair >> 8);
    out[4 * i + 2] = static_cast<uint8_t>(pair >> 16);
    out[4 * i + 3] = static_cast<uint8_t>(pair >> 24);
  }
  return clipped;
}

#if QELP_HAVE_SSE2
// The count of the portable form, four samples at a time: a lane whose magnitude is not below
// 32768 (NaN included) compares as all ones, that is -1, and is subtracted from the lane's tally.
uint32_t count_beyond_full_scale_sse2(const float* left, const float* right) {
  const __m128 full_scale = _mm_set1_ps(32768.0f);
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  __m128i tally = _mm_setzero_si128();  // at most 2 × 64 per lane
  for (int i = 0; i < kBins; i += 4) {
    const __m128 l_beyond = _mm_cmpnlt_ps(_mm_and_ps(_mm_loadu_ps(left + i), magnitude), full_scale);
    const __m128 r_beyond = _mm_cmpnlt_ps(_mm_and_ps(_mm_loadu_ps(right + i), magnitude), full_scale);
    tally = _mm_sub_epi32(tally, _mm_castps_si128(l_beyond));
    tally = _mm_sub_epi32(tally, _mm_castps_si128(r_beyond));
  }
  tally = _mm_add_epi32(tally, _mm_shuffle_epi32(tally, _MM_SHUFFLE(1, 0, 3, 2)));
  tally = _mm_add_epi32(tally, _mm_shuffle_epi32(tally, _MM_SHUFFLE(2, 3, 0, 1)));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(tally));
}

// The same as the portable form, four pairs at a time: the clamp (NaN gives +32767 as above),
// truncation, then the values interleaved and packed to 16 bits (x86 is little-endian). Every
// clipped sample comes out at +-32767, so the largest and smallest values written are kept, and
// only a block that reaches full scale is counted; most never do, and pay two operations per four
// pairs instead of the count's eight.
uint32_t pcm_pairs_sse2(const float* left, const float* right, uint8_t* out) {
  const __m128 high = _mm_set1_ps(32767.0f), low = _mm_set1_ps(-32767.0f);
  __m128i largest = _mm_setzero_si128(), smallest = _mm_setzero_si128();
  for (int i = 0; i < kBins; i += 4) {
    const __m128 l = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(left + i), high), low);
    const __m128 r = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(right + i), high), low);
    const __m128i li = _mm_cvttps_epi32(l), ri = _mm_cvttps_epi32(r);
    const __m128i pairs = _mm_packs_epi32(_mm_unpacklo_epi32(li, ri), _mm_unpackhi_epi32(li, ri));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), pairs);
    largest = _mm_max_epi16(largest, pairs);
    smallest = _mm_min_epi16(smallest, pairs);
  }
  const __m128i at_full_scale = _mm_or_si128(_mm_cmpeq_epi16(_mm_set1_epi16(32767), largest),
                                             _mm_cmpeq_epi16(_mm_set1_epi16(-32767), smallest));
  if (_mm_movemask_epi8(at_full_scale) == 0) return 0;
  return count_beyond_full_scale_sse2(left, right);
}
#endif

}  // namespace

void fold_down(decoder& d) {
  fold_coefficients(d, gains_for(d.bsi, d.surround_mode != 0, d.config.dual_mono_channel));
}

uint32_t write_pcm(decoder& d, uint8_t* out) {
  const float* left = d.samples[0];
  const float* right = d.samples[d.folded.outputs > 1 ? 1 : 0];
#if QELP_HAVE_SSE2
  if (!d.portable_vectors) return pcm_pairs_sse2(left, right, out);
#endif
  return pcm_pairs_portable(left, right, out);
}

}  // namespace ac3

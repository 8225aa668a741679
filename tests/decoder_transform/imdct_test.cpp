// The inverse transform against the transform's closed form, evaluated directly in double precision,
// and perfect reconstruction of a signal through a forward transform written here.
#include "ac3/imdct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "ac3/imdct_tables.h"
#include "ac3/stages.h"
#include "support/decoder_feed.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The 512-sample window: rising half from the table, falling half its mirror image.
double window512(int n) { return n < 256 ? ac3::window[n] : ac3::window[511 - n]; }

// Closed form of the long transform: 256 coefficients to 512 samples.
double long_sample(const float* x, int n) {
  double sum = 0.0;
  for (int k = 0; k < 256; ++k) sum += x[k] * std::cos(2.0 * kPi / 2048.0 * (2 * n + 1 + 256) * (2 * k + 1));
  return -sum;
}

// Closed form of one of the two short transforms: 128 coefficients (every other one, starting at
// `first`) to 256 samples, with the phase term of the first (alpha -1) or second (alpha +1) half.
double short_sample(const float* x, int first, int alpha, int n) {
  double sum = 0.0;
  for (int k = 0; k < 128; ++k)
    sum += x[2 * k + first] *
           std::cos(2.0 * kPi / 1024.0 * (2 * n + 1) * (2 * k + 1) + kPi / 4.0 * (2 * k + 1) * (1 + alpha));
  return -sum;
}

class InverseTransform : public ::testing::Test {
 protected:
  decoder_test::test_decoder dec;  // reset: no overlap in any slot
  std::mt19937 rng{20261207};
  std::vector<float> random_block(float amplitude) {
    std::uniform_real_distribution<float> dist(-amplitude, amplitude);
    std::vector<float> v(256);
    for (float& f : v) f = dist(rng);
    return v;
  }
};

// The transforms of one form: the build's own (SSE2 where built) and the portable one.
struct transform_form {
  const char* name;
  void (*long_transform)(const float*, float*, float*);
  void (*short_transform)(const float*, float*, float*);
  void (*long_add)(const float*, float*, float*);
  void (*short_add)(const float*, float*, float*);
};
const transform_form kForms[] = {
    {"native", ac3::imdct_long, ac3::imdct_short, ac3::imdct_long_add, ac3::imdct_short_add},
    {"portable", ac3::portable::imdct_long, ac3::portable::imdct_short, ac3::portable::imdct_long_add,
     ac3::portable::imdct_short_add},
};

class TransformForm : public InverseTransform, public ::testing::WithParamInterface<transform_form> {};

// Against the closed form in double precision, with an old overlap to add: the error stays at the
// level of float rounding (about 1e-6 of the output for unit coefficients).
TEST_P(TransformForm, LongTransformMatchesClosedFormWithOverlap) {
  const std::vector<float> coeffs = random_block(1.0f);
  const std::vector<float> delay_in = random_block(0.5f);
  float out[256];
  float delay[256];
  std::memcpy(delay, delay_in.data(), sizeof delay);
  GetParam().long_transform(coeffs.data(), out, delay);

  for (int n = 0; n < 256; ++n) {
    const double expected = 2.0 * (delay_in[n] + long_sample(coeffs.data(), n) * window512(n));
    EXPECT_NEAR(out[n], expected, 1e-5) << "sample " << n;
    const double expected_delay = long_sample(coeffs.data(), 256 + n) * window512(256 + n);
    EXPECT_NEAR(delay[n], expected_delay, 5e-6) << "delay " << n;
  }
}

TEST_P(TransformForm, ShortTransformsMatchClosedFormWithOverlap) {
  const std::vector<float> coeffs = random_block(1.0f);
  const std::vector<float> delay_in = random_block(0.5f);
  float out[256];
  float delay[256];
  std::memcpy(delay, delay_in.data(), sizeof delay);
  GetParam().short_transform(coeffs.data(), out, delay);

  for (int n = 0; n < 256; ++n) {
    // First transform (even coefficients) overlaps the old delay; the second (odd) is the new delay.
    const double expected = 2.0 * (delay_in[n] + short_sample(coeffs.data(), 0, -1, n) * window512(n));
    EXPECT_NEAR(out[n], expected, 1e-5) << "sample " << n;
    const double expected_delay = short_sample(coeffs.data(), 1, +1, n) * window512(256 + n);
    EXPECT_NEAR(delay[n], expected_delay, 5e-6) << "delay " << n;
  }
}

// Each coefficient alone reaches every sample with its own cosine: a wrong twiddle, reversal or
// window entry shows up as one coefficient's wrong output, which random data can average away.
TEST_P(TransformForm, EachCoefficientAloneMatchesItsCosine) {
  for (int k = 0; k < 256; ++k) {
    float x[256] = {};
    x[k] = 1.0f;
    float out[2][256], delay[2][256] = {};
    GetParam().long_transform(x, out[0], delay[0]);
    GetParam().short_transform(x, out[1], delay[1]);
    // Even coefficients feed the first short transform (the output), odd ones the second (the delay).
    const int half = k / 2;
    for (int n = 0; n < 256; ++n) {
      const double long_out = -std::cos(2.0 * kPi / 2048.0 * (2 * n + 1 + 256) * (2 * k + 1));
      const double long_delay = -std::cos(2.0 * kPi / 2048.0 * (2 * (n + 256) + 1 + 256) * (2 * k + 1));
      const double short_out = k % 2 ? 0.0 : -std::cos(2.0 * kPi / 1024.0 * (2 * n + 1) * (2 * half + 1));
      const double short_delay =
          k % 2 ? -std::cos(2.0 * kPi / 1024.0 * (2 * n + 1) * (2 * half + 1) + kPi / 2.0 * (2 * half + 1)) : 0.0;
      ASSERT_NEAR(2.0 * long_out * window512(n), out[0][n], 2e-6) << "long, bin " << k << " sample " << n;
      ASSERT_NEAR(long_delay * window512(256 + n), delay[0][n], 2e-6) << "long, bin " << k << " sample " << n;
      ASSERT_NEAR(2.0 * short_out * window512(n), out[1][n], 2e-6) << "short, bin " << k << " sample " << n;
      ASSERT_NEAR(short_delay * window512(256 + n), delay[1][n], 2e-6) << "short, bin " << k << " sample " << n;
    }
  }
}

TEST_P(TransformForm, WorksInPlace) {
  const std::vector<float> coeffs = random_block(1.0f);
  float separate[256], delay_a[256] = {}, delay_b[256] = {};
  float in_place[256];
  std::memcpy(in_place, coeffs.data(), sizeof in_place);
  GetParam().long_transform(coeffs.data(), separate, delay_a);
  GetParam().long_transform(in_place, in_place, delay_b);
  EXPECT_EQ(0, std::memcmp(separate, in_place, sizeof in_place));
  EXPECT_EQ(0, std::memcmp(delay_a, delay_b, sizeof delay_a));

  std::memcpy(in_place, coeffs.data(), sizeof in_place);
  GetParam().short_transform(coeffs.data(), separate, delay_a);
  GetParam().short_transform(in_place, in_place, delay_b);
  EXPECT_EQ(0, std::memcmp(separate, in_place, sizeof in_place));
  EXPECT_EQ(0, std::memcmp(delay_a, delay_b, sizeof delay_a));
}

TEST_P(TransformForm, ZeroInGivesZeroOutAndZeroDelay) {
  for (int blksw = 0; blksw < 2; ++blksw) {
    float x[256] = {};
    float delay[256] = {};
    if (blksw)
      GetParam().short_transform(x, x, delay);
    else
      GetParam().long_transform(x, x, delay);
    for (int n = 0; n < 256; ++n) {
      EXPECT_EQ(0.0f, x[n]);
      EXPECT_EQ(0.0f, delay[n]);
    }
  }
}

// The added transforms put the block's windowed samples on top of what out holds and add their
// overlap to the delay: a long and a short transform of the same block, one after the other, give the
// sum of the two transforms on their own.
TEST_P(TransformForm, AddedTransformsGiveTheSumOfBothLengths) {
  const std::vector<float> long_coeffs = random_block(1.0f);
  const std::vector<float> short_coeffs = random_block(1.0f);
  const std::vector<float> delay_in = random_block(0.5f);
  const transform_form& t = GetParam();
  for (int first_long = 0; first_long < 2; ++first_long) {
    float out[256], delay[256], alone_out[2][256], alone_delay[2][256] = {};
    std::memcpy(delay, delay_in.data(), sizeof delay);
    std::memcpy(alone_delay[0], delay_in.data(), sizeof delay);
    t.long_transform(long_coeffs.data(), alone_out[0], alone_delay[0]);
    t.short_transform(short_coeffs.data(), alone_out[1], alone_delay[1]);  // from no overlap
    if (first_long) {
      t.long_transform(long_coeffs.data(), out, delay);
      t.short_add(short_coeffs.data(), out, delay);
    } else {
      t.short_transform(short_coeffs.data(), out, delay);
      t.long_add(long_coeffs.data(), out, delay);
    }
    for (int n = 0; n < 256; ++n) {
      EXPECT_NEAR(alone_out[0][n] + alone_out[1][n], out[n], 1e-5) << "sample " << n;
      EXPECT_NEAR(alone_delay[0][n] + alone_delay[1][n], delay[n], 1e-5) << "delay " << n;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, TransformForm, ::testing::ValuesIn(kForms),
                         [](const ::testing::TestParamInfo<transform_form>& info) { return std::string(info.param.name); });

// The SSE2 transform and the portable one give the same bits, loud or quiet, for all four entry
// points and a run of blocks whose overlap carries on.
TEST_F(InverseTransform, VectorisedAndPortableFormsGiveTheSameBits) {
  if (!ac3::vectors_are_sse2()) GTEST_SKIP() << "this build has the portable form only";
  const transform_form& native = kForms[0];
  const transform_form& portable = kForms[1];
  float delay_native[256] = {}, delay_portable[256] = {};
  for (int block = 0; block < 64; ++block) {
    const float amplitude = block % 4 == 0 ? 1e-30f : (block % 4 == 1 ? 1.0f : (block % 4 == 2 ? 3e4f : 1e-3f));
    const std::vector<float> x = random_block(amplitude);
    float out_native[256], out_portable[256];
    const int kind = block % 6;  // long, short, long + short added, short + long added, ...
    auto run = [&](const transform_form& f, float* out, float* delay) {
      if (kind == 0 || kind == 4) f.long_transform(x.data(), out, delay);
      if (kind == 1 || kind == 5) f.short_transform(x.data(), out, delay);
      if (kind == 2) {
        f.long_transform(x.data(), out, delay);
        f.short_add(x.data() + 0, out, delay);
      }
      if (kind == 3) {
        f.short_transform(x.data(), out, delay);
        f.long_add(x.data(), out, delay);
      }
    };
    run(native, out_native, delay_native);
    run(portable, out_portable, delay_portable);
    ASSERT_EQ(0, std::memcmp(out_native, out_portable, sizeof out_native)) << "block " << block;
    ASSERT_EQ(0, std::memcmp(delay_native, delay_portable, sizeof delay_native)) << "block " << block;
  }
}

// The window as the standard prints it, to five decimals.
const float kPrintedWindow[256] = {
    0.00014f, 0.00024f, 0.00037f, 0.00051f, 0.00067f, 0.00086f, 0.00107f, 0.00130f,
    0.00157f, 0.00187f, 0.00220f, 0.00256f, 0.00297f, 0.00341f, 0.00390f, 0.00443f,
    0.00501f, 0.00564f, 0.00632f, 0.00706f, 0.00785f, 0.00871f, 0.00962f, 0.01061f,
    0.01166f, 0.01279f, 0.01399f, 0.01526f, 0.01662f, 0.01806f, 0.01959f, 0.02121f,
    0.02292f, 0.02472f, 0.02662f, 0.02863f, 0.03073f, 0.03294f, 0.03527f, 0.03770f,
    0.04025f, 0.04292f, 0.04571f, 0.04862f, 0.05165f, 0.05481f, 0.05810f, 0.06153f,
    0.06508f, 0.06878f, 0.07261f, 0.07658f, 0.08069f, 0.08495f, 0.08935f, 0.09389f,
    0.09859f, 0.10343f, 0.10842f, 0.11356f, 0.11885f, 0.12429f, 0.12988f, 0.13563f,
    0.14152f, 0.14757f, 0.15376f, 0.16011f, 0.16661f, 0.17325f, 0.18005f, 0.18699f,
    0.19407f, 0.20130f, 0.20867f, 0.21618f, 0.22382f, 0.23161f, 0.23952f, 0.24757f,
    0.25574f, 0.26404f, 0.27246f, 0.28100f, 0.28965f, 0.29841f, 0.30729f, 0.31626f,
    0.32533f, 0.33450f, 0.34376f, 0.35311f, 0.36253f, 0.37204f, 0.38161f, 0.39126f,
    0.40096f, 0.41072f, 0.42054f, 0.43040f, 0.44030f, 0.45023f, 0.46020f, 0.47019f,
    0.48020f, 0.49022f, 0.50025f, 0.51028f, 0.52031f, 0.53033f, 0.54033f, 0.55031f,
    0.56026f, 0.57019f, 0.58007f, 0.58991f, 0.59970f, 0.60944f, 0.61912f, 0.62873f,
    0.63827f, 0.64774f, 0.65713f, 0.66643f, 0.67564f, 0.68476f, 0.69377f, 0.70269f,
    0.71150f, 0.72019f, 0.72877f, 0.73723f, 0.74557f, 0.75378f, 0.76186f, 0.76981f,
    0.77762f, 0.78530f, 0.79283f, 0.80022f, 0.80747f, 0.81457f, 0.82151f, 0.82831f,
    0.83496f, 0.84145f, 0.84779f, 0.85398f, 0.86001f, 0.86588f, 0.87160f, 0.87716f,
    0.88257f, 0.88782f, 0.89291f, 0.89785f, 0.90264f, 0.90728f, 0.91176f, 0.91610f,
    0.92028f, 0.92432f, 0.92822f, 0.93197f, 0.93558f, 0.93906f, 0.94240f, 0.94560f,
    0.94867f, 0.95162f, 0.95444f, 0.95713f, 0.95971f, 0.96217f, 0.96451f, 0.96674f,
    0.96887f, 0.97089f, 0.97281f, 0.97463f, 0.97635f, 0.97799f, 0.97953f, 0.98099f,
    0.98236f, 0.98366f, 0.98488f, 0.98602f, 0.98710f, 0.98811f, 0.98905f, 0.98994f,
    0.99076f, 0.99153f, 0.99225f, 0.99291f, 0.99353f, 0.99411f, 0.99464f, 0.99513f,
    0.99558f, 0.99600f, 0.99639f, 0.99674f, 0.99706f, 0.99736f, 0.99763f, 0.99788f,
    0.99811f, 0.99831f, 0.99850f, 0.99867f, 0.99882f, 0.99895f, 0.99908f, 0.99919f,
    0.99929f, 0.99938f, 0.99946f, 0.99953f, 0.99959f, 0.99965f, 0.99969f, 0.99974f,
    0.99978f, 0.99981f, 0.99984f, 0.99986f, 0.99988f, 0.99990f, 0.99992f, 0.99993f,
    0.99994f, 0.99995f, 0.99996f, 0.99997f, 0.99998f, 0.99998f, 0.99998f, 0.99999f,
    0.99999f, 0.99999f, 0.99999f, 1.00000f, 1.00000f, 1.00000f, 1.00000f, 1.00000f,
    1.00000f, 1.00000f, 1.00000f, 1.00000f, 1.00000f, 1.00000f, 1.00000f, 1.00000f,
};

// The window is computed from its definition: within the rounding of the five printed decimals of
// every entry, rising (up to float steps near 1), and meeting the Princen-Bradley condition to float precision (perfect
// reconstruction relies on it; the printed decimals meet it only to 2e-5).
TEST_F(InverseTransform, WindowIsTheExactKaiserBesselDerivedWindow) {
  double worst_sum = 0.0;
  for (int n = 0; n < 256; ++n) {
    EXPECT_NEAR(kPrintedWindow[n], ac3::window[n], 0.5e-5 + 1e-7) << "entry " << n;
    const double w = ac3::window[n], m = ac3::window[255 - n];
    worst_sum = std::max(worst_sum, std::fabs(1.0 - (w * w + m * m)));
    if (n > 0 && ac3::window[n] < 0.9999f) {
      EXPECT_GT(ac3::window[n], ac3::window[n - 1]) << "entry " << n;
    } else if (n > 0) {
      EXPECT_GE(ac3::window[n], ac3::window[n - 1]) << "entry " << n;  // float steps near 1
    }
  }
  EXPECT_LT(worst_sum, 3e-7);
  EXPECT_GT(ac3::window[0], 0.0f);
  EXPECT_LE(ac3::window[255], 1.0f);
  // An entry whose printed last digit is a close call (0.02862501 printed as 0.02863).
  EXPECT_NEAR(0.02862501, ac3::window[35], 1e-8);
}

// A forward transform built as the transposed closed form (windowed), one block of 256 new
// samples at a time; long or short per block. The inverse transform, with overlap-add across
// blocks, must give back the input delayed by one block, whatever the mix of block lengths.
std::vector<float> forward_block(const std::vector<double>& signal, int start, bool short_block) {
  std::vector<float> x(256, 0.0f);
  auto at = [&](int i) { return (i >= 0 && i < static_cast<int>(signal.size())) ? signal[i] : 0.0; };
  if (!short_block) {
    for (int k = 0; k < 256; ++k) {
      double sum = 0.0;
      for (int n = 0; n < 512; ++n)
        sum += at(start + n) * window512(n) * std::cos(2.0 * kPi / 2048.0 * (2 * n + 1 + 256) * (2 * k + 1));
      x[k] = static_cast<float>(-sum / 256.0);
    }
  } else {
    for (int half = 0; half < 2; ++half) {
      const int alpha = half == 0 ? -1 : 1;
      for (int k = 0; k < 128; ++k) {
        double sum = 0.0;
        for (int n = 0; n < 256; ++n)
          sum += at(start + 256 * half + n) * window512(256 * half + n) *
                 std::cos(2.0 * kPi / 1024.0 * (2 * n + 1) * (2 * k + 1) +
                          kPi / 4.0 * (2 * k + 1) * (1 + alpha));
        x[2 * k + half] = static_cast<float>(-sum / 128.0);
      }
    }
  }
  return x;
}

TEST_F(InverseTransform, ReconstructsSignalAcrossLongAndShortBlocks) {
  constexpr int kBlocks = 10;
  const bool short_block[kBlocks] = {false, false, true, false, true, true, false, false, true, false};
  std::vector<double> signal(256 * (kBlocks + 1));
  std::uniform_real_distribution<double> dist(-0.5, 0.5);
  for (size_t i = 0; i < signal.size(); ++i)
    signal[i] = 0.3 * std::sin(0.05 * static_cast<double>(i)) + dist(rng) * 0.4;

  // Block b covers samples 256*(b-1) .. 256*(b+1); its output is samples 256*(b-1) .. 256*b.
  // Both the build's transform and the portable one, as the decoder runs them.
  std::vector<std::vector<float>> blocks;
  for (int block = 0; block < kBlocks; ++block) blocks.push_back(forward_block(signal, 256 * (block - 1), short_block[block]));
  double worst = 0.0;
  for (const int portable : {0, 1}) {
    ac3::decoder_reset(dec);
    dec->portable_vectors = portable;
    ac3::folded_block& f = dec->folded;
    f.outputs = 1;
    for (int block = 0; block < kBlocks; ++block) {
      const int length = short_block[block] ? ac3::kShortTransform : ac3::kLongTransform;
      std::memcpy(f.coeffs[0][length], blocks[block].data(), sizeof f.coeffs[0][length]);
      f.used[0][length] = true;
      f.used[0][1 - length] = false;
      ac3::inverse_transform(dec);
      if (block == 0) continue;  // its first half overlapped with nothing
      for (int n = 0; n < 256; ++n)
        worst = std::max(worst, std::fabs(dec->samples[0][n] - signal[256 * (block - 1) + n]));
    }
  }
  // With the exact window only float rounding is left (the five printed decimals allowed 1e-5).
  EXPECT_LT(worst, 2e-6);
}

// inverse_transform runs one transform per output and length in use, adds the lengths, keeps one
// delay per output, and gives a mono programme's overlap to both outputs.
TEST_F(InverseTransform, TransformsEachOutputsLengthsAndKeepsItsOverlap) {
  ac3::folded_block& f = dec->folded;
  std::vector<float> x[2][2];
  for (auto& output : x)
    for (auto& v : output) v = random_block(1000.0f);
  for (int o = 0; o < 2; ++o)
    for (int length = 0; length < 2; ++length)
      std::memcpy(f.coeffs[o][length], x[o][length].data(), sizeof f.coeffs[o][length]);

  // Block 1: left long and short, right long only.
  f.outputs = 2;
  f.used[0][ac3::kLongTransform] = f.used[0][ac3::kShortTransform] = true;
  f.used[1][ac3::kLongTransform] = true;
  f.used[1][ac3::kShortTransform] = false;
  ac3::inverse_transform(dec);
  float expected[2][256], delay[2][256] = {};
  ac3::imdct_long(x[0][0].data(), expected[0], delay[0]);
  ac3::imdct_short_add(x[0][1].data(), expected[0], delay[0]);
  ac3::imdct_long(x[1][0].data(), expected[1], delay[1]);
  for (int o = 0; o < 2; ++o) {
    EXPECT_EQ(0, std::memcmp(expected[o], dec->samples[o], sizeof expected[o])) << "output " << o;
    EXPECT_EQ(0, std::memcmp(delay[o], dec->delay[o], sizeof delay[o])) << "output " << o;
  }

  // Block 2: right short only; left long only.
  f.used[0][ac3::kShortTransform] = false;
  f.used[1][ac3::kLongTransform] = false;
  f.used[1][ac3::kShortTransform] = true;
  ac3::inverse_transform(dec);
  ac3::imdct_long(x[0][0].data(), expected[0], delay[0]);
  ac3::imdct_short(x[1][1].data(), expected[1], delay[1]);
  for (int o = 0; o < 2; ++o) {
    EXPECT_EQ(0, std::memcmp(expected[o], dec->samples[o], sizeof expected[o])) << "output " << o;
    EXPECT_EQ(0, std::memcmp(delay[o], dec->delay[o], sizeof delay[o])) << "output " << o;
  }

  // Block 3: a mono programme; the left output's overlap is carried on both sides.
  f.outputs = 1;
  f.used[0][ac3::kLongTransform] = true;
  ac3::inverse_transform(dec);
  ac3::imdct_long(x[0][0].data(), expected[0], delay[0]);
  EXPECT_EQ(0, std::memcmp(expected[0], dec->samples[0], sizeof expected[0]));
  EXPECT_EQ(0, std::memcmp(delay[0], dec->delay[0], sizeof delay[0]));
  EXPECT_EQ(0, std::memcmp(delay[0], dec->delay[1], sizeof delay[0])) << "the right output overlaps the same";
}

// A restart of the decoder (decoder_init) keeps the overlap: the first block after it overlaps with
// the last block before it.
TEST_F(InverseTransform, DelayBuffersSurviveARestart) {
  const std::vector<float> x = random_block(1.0f);
  ac3::folded_block& f = dec->folded;
  f.outputs = 2;
  for (int o = 0; o < 2; ++o) {
    std::memcpy(f.coeffs[o][ac3::kLongTransform], x.data(), sizeof f.coeffs[o][ac3::kLongTransform]);
    f.used[o][ac3::kLongTransform] = true;
    f.used[o][ac3::kShortTransform] = false;
  }
  ac3::inverse_transform(dec);
  float kept[256];
  std::memcpy(kept, dec->delay[1], sizeof kept);
  float energy = 0.0f;
  for (float v : kept) energy += v * v;
  ASSERT_GT(energy, 0.0f);

  ac3::decoder_init(dec, dec->config);
  std::memset(f.coeffs, 0, sizeof f.coeffs);
  ac3::inverse_transform(dec);
  for (int n = 0; n < 256; ++n) EXPECT_FLOAT_EQ(2.0f * kept[n], dec->samples[1][n]);
}

}  // namespace

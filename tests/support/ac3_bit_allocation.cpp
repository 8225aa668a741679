// The parametric bit allocation, written here independently of the decoder so that the frame
// writer knows each mantissa's width. Integer arithmetic as the standard gives it.
#include "support/ac3_bit_allocation.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace ac3test {

namespace {

const int16_t kSlowdec[4] = {15, 17, 19, 21};
const int16_t kFastdec[4] = {63, 83, 103, 123};
const int16_t kSlowgain[4] = {1344, 1240, 1144, 1040};
const int16_t kDbpbtab[4] = {0, 1792, 2304, 2816};
const int16_t kFloortab[8] = {752, 688, 624, 560, 496, 368, 240, -2048};
const int16_t kFastgain[8] = {128, 256, 384, 512, 640, 768, 896, 1024};

const uint8_t kMasktab[256] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
    16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 28, 28, 29,
    29, 29, 30, 30, 30, 31, 31, 31, 32, 32, 32, 33, 33, 33, 34, 34,
    34, 35, 35, 35, 35, 35, 35, 36, 36, 36, 36, 36, 36, 37, 37, 37,
    37, 37, 37, 38, 38, 38, 38, 38, 38, 39, 39, 39, 39, 39, 39, 40,
    40, 40, 40, 40, 40, 41, 41, 41, 41, 41, 41, 41, 41, 41, 41, 41,
    41, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 43, 43, 43,
    43, 43, 43, 43, 43, 43, 43, 43, 43, 44, 44, 44, 44, 44, 44, 44,
    44, 44, 44, 44, 44, 45, 45, 45, 45, 45, 45, 45, 45, 45, 45, 45,
    45, 45, 45, 45, 45, 45, 45, 45, 45, 45, 45, 45, 45, 46, 46, 46,
    46, 46, 46, 46, 46, 46, 46, 46, 46, 46, 46, 46, 46, 46, 46, 46,
    46, 46, 46, 46, 46, 47, 47, 47, 47, 47, 47, 47, 47, 47, 47, 47,
    47, 47, 47, 47, 47, 47, 47, 47, 47, 47, 47, 47, 47, 48, 48, 48,
    48, 48, 48, 48, 48, 48, 48, 48, 48, 48, 48, 48, 48, 48, 48, 48,
    48, 48, 48, 48, 48, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49,
    49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 0, 0, 0,
};
const int16_t kLatab[256] = {
    64, 63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 52, 51, 50,
    49, 48, 47, 47, 46, 45, 44, 44, 43, 42, 41, 41, 40, 39, 38, 38,
    37, 36, 36, 35, 35, 34, 33, 33, 32, 32, 31, 30, 30, 29, 29, 28,
    28, 27, 27, 26, 26, 25, 25, 24, 24, 23, 23, 22, 22, 21, 21, 21,
    20, 20, 19, 19, 19, 18, 18, 18, 17, 17, 17, 16, 16, 16, 15, 15,
    15, 14, 14, 14, 13, 13, 13, 13, 12, 12, 12, 12, 11, 11, 11, 11,
    10, 10, 10, 10, 10, 9, 9, 9, 9, 9, 8, 8, 8, 8, 8, 8,
    7, 7, 7, 7, 7, 7, 6, 6, 6, 6, 6, 6, 6, 6, 5, 5,
    5, 5, 5, 5, 5, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4,
    4, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};
const int16_t kHth[3][50] = {
    {1232, 1232, 1088, 1024, 992, 960, 944, 944, 928, 928, 928, 928, 928, 912, 912, 912, 896, 896, 880, 880, 864, 864, 848, 848, 832, 832, 816, 800, 784, 768, 752, 752, 752, 752, 768, 784, 832, 912, 992, 1056, 1120, 1168, 1184, 1120, 1088, 1088, 1312, 2048, 2112, 2112},
    {1264, 1264, 1120, 1040, 992, 976, 960, 944, 944, 928, 928, 928, 928, 928, 912, 912, 912, 896, 896, 896, 880, 880, 864, 864, 848, 848, 832, 832, 800, 784, 768, 752, 752, 752, 752, 768, 800, 848, 912, 992, 1056, 1104, 1184, 1168, 1120, 1088, 1152, 1584, 2112, 2112},
    {1408, 1408, 1200, 1104, 1056, 1008, 992, 976, 960, 944, 944, 944, 928, 928, 928, 928, 928, 928, 928, 928, 912, 912, 912, 912, 896, 896, 896, 880, 864, 848, 832, 816, 800, 784, 768, 752, 752, 752, 768, 784, 816, 848, 960, 1040, 1136, 1184, 1120, 1088, 1104, 1248},
};
const uint8_t kBaptab[64] = {
    0, 1, 1, 1, 1, 1, 2, 2, 3, 3, 3, 4, 4, 5, 5, 6,
    6, 6, 6, 7, 7, 7, 7, 8, 8, 8, 8, 9, 9, 9, 9, 10,
    10, 10, 10, 11, 11, 11, 11, 12, 12, 12, 12, 13, 13, 13, 13, 14,
    14, 14, 14, 14, 14, 14, 14, 15, 15, 15, 15, 15, 15, 15, 15, 15,
};

struct band_layout {
  int start[50];
  int size[50];
  band_layout() {
    for (int b = 0; b < 50; ++b) {
      start[b] = -1;
      size[b] = 0;
    }
    for (int bin = 0; bin < 253; ++bin) {
      const int b = kMasktab[bin];
      if (start[b] < 0) start[b] = bin;
      ++size[b];
    }
  }
};

const band_layout& bands() {
  static const band_layout layout;
  return layout;
}

int logadd(int a, int b) {
  const int c = a - b;
  const int k = std::min(std::abs(c) >> 1, 255);
  return c >= 0 ? a + kLatab[k] : b + kLatab[k];
}

int lowcomp_step(int lowcomp, int b0, int b1, int band) {
  if (band < 7) {
    if (b0 + 256 == b1) return 384;
    if (b0 > b1) return std::max(0, lowcomp - 64);
    return lowcomp;
  }
  if (band < 20) {
    if (b0 + 256 == b1) return 320;
    if (b0 > b1) return std::max(0, lowcomp - 64);
    return lowcomp;
  }
  return std::max(0, lowcomp - 128);
}

}  // namespace

int masktab_of(int bin) { return kMasktab[bin]; }

void compute_baps(const allocation_input& in, uint16_t* bap) {
  const band_layout& bl = bands();
  const int start = in.start;
  const int end = in.end;
  const int sdecay = kSlowdec[in.sdcycod];
  const int fdecay = kFastdec[in.fdcycod];
  const int sgain = kSlowgain[in.sgaincod];
  const int dbknee = kDbpbtab[in.dbpbcod];
  const int floor = kFloortab[in.floorcod];
  const int fgain = kFastgain[in.fgaincod];

  int psd[256] = {};
  int bndpsd[50] = {};
  int excite[50] = {};
  int mask[50] = {};

  for (int bin = start; bin < end; ++bin) psd[bin] = 3072 - 128 * in.exps[bin];

  // Integrate the power spectral density over each band.
  {
    int j = kMasktab[start];
    int i = start;
    int last;
    do {
      last = std::min(bl.start[j] + bl.size[j], end);
      bndpsd[j] = psd[i++];
      for (; i < last; ++i) bndpsd[j] = logadd(bndpsd[j], psd[i]);
      ++j;
    } while (end > last);
  }

  // Excitation.
  const int bndstrt = kMasktab[start];
  const int bndend = kMasktab[end - 1] + 1;
  int fastleak = in.fastleak;
  int slowleak = in.slowleak;
  int begin;
  if (bndstrt == 0) {
    const bool lfe = in.lfe_rule;
    int lowcomp = lowcomp_step(0, bndpsd[0], bndpsd[1], 0);
    excite[0] = bndpsd[0] - fgain - lowcomp;
    lowcomp = lowcomp_step(lowcomp, bndpsd[1], bndpsd[2], 1);
    excite[1] = bndpsd[1] - fgain - lowcomp;
    begin = 7;
    for (int band = 2; band < 7; ++band) {
      const bool skip = lfe && band == 6;
      if (!skip) lowcomp = lowcomp_step(lowcomp, bndpsd[band], bndpsd[band + 1], band);
      fastleak = bndpsd[band] - fgain;
      slowleak = bndpsd[band] - sgain;
      excite[band] = fastleak - lowcomp;
      if (!skip && bndpsd[band] <= bndpsd[band + 1]) {
        begin = band + 1;
        break;
      }
    }
    for (int band = begin; band < std::min(bndend, 22); ++band) {
      if (!(lfe && band == 6)) lowcomp = lowcomp_step(lowcomp, bndpsd[band], bndpsd[band + 1], band);
      fastleak = std::max(fastleak - fdecay, bndpsd[band] - fgain);
      slowleak = std::max(slowleak - sdecay, bndpsd[band] - sgain);
      excite[band] = std::max(fastleak - lowcomp, slowleak);
    }
    begin = 22;
  } else {
    begin = bndstrt;
  }
  for (int band = begin; band < bndend; ++band) {
    fastleak = std::max(fastleak - fdecay, bndpsd[band] - fgain);
    slowleak = std::max(slowleak - sdecay, bndpsd[band] - sgain);
    excite[band] = std::max(fastleak, slowleak);
  }

  // Masking curve, then the delta bit allocation.
  for (int band = bndstrt; band < bndend; ++band) {
    if (bndpsd[band] < dbknee) excite[band] += (dbknee - bndpsd[band]) >> 2;
    mask[band] = std::max(excite[band], static_cast<int>(kHth[in.fscod][band]));
  }
  // Delta segments count bands from the channel's first band: band 0 for a full-bandwidth or the
  // LFE channel, the band of cplstrtmant for the coupling channel.
  if (in.delta != nullptr && (in.delta->mode == 0 || in.delta->mode == 1)) {
    int band = bndstrt;
    for (int seg = 0; seg <= in.delta->nseg; ++seg) {
      band += in.delta->offst[seg];
      const int delta = in.delta->ba[seg] >= 4 ? 128 * (in.delta->ba[seg] - 3) : 128 * (in.delta->ba[seg] - 4);
      for (int k = 0; k < in.delta->len[seg]; ++k) {
        if (band >= 50) throw std::invalid_argument("bit allocation: a delta segment runs past the last band");
        mask[band] += delta;
        ++band;
      }
    }
  }

  // Bit allocation pointers.
  {
    int j = kMasktab[start];
    int i = start;
    int last;
    do {
      last = std::min(bl.start[j] + bl.size[j], end);
      int m = mask[j] - in.snroffset - floor;
      if (m < 0) m = 0;
      m = (m & 0x1fe0) + floor;
      for (; i < last; ++i) {
        const int address = std::clamp((psd[i] - m) >> 5, 0, 63);
        bap[i] = kBaptab[address];
      }
      ++j;
    } while (end > last);
  }
}

}  // namespace ac3test

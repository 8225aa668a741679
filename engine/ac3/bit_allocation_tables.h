// The tables of the A/52 parametric bit allocation (slow/fast decay and gain, dB per bit, floor,
// fast gain, banding, bin to band, log addition, hearing threshold, bap).
#pragma once

#include <cstdint>

namespace ac3 {

constexpr int kBands = 50;

extern const int16_t slowdec[4];
extern const int16_t fastdec[4];
extern const int16_t slowgain[4];
extern const int16_t dbpbtab[4];
extern const int16_t floortab[8];
extern const int16_t fastgain[8];
extern const int16_t bndtab[kBands];
extern const int16_t bndsz[kBands];
extern const int16_t masktab[256];
extern const int16_t latab[256];
extern const int16_t hth[3][kBands];
extern const int16_t baptab[64];

}  // namespace ac3

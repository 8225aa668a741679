// The normalizer's sample arithmetic: peak search, the gain, and the translation tables that map
// every possible sample value to its amplified value, so that rewriting a sample is one look-up.
#pragma once

#include <cstdint>

namespace qelp {

constexpr int kTable16Entries = 65536;
constexpr int kTable8Entries = 256;

// Smallest and largest 16-bit little-endian sample among the first bytes / 2 samples.
void scan_peak16(const unsigned char* piece, uint32_t bytes, int32_t* minimum, int32_t* maximum);
// The same for unsigned 8-bit samples, as sample - 128.
void scan_peak8(const unsigned char* piece, uint32_t bytes, int32_t* minimum, int32_t* maximum);

// The peak magnitude, counting the most negative value (-32768 or -128) as its positive neighbour.
int32_t peak_of(int32_t minimum, int32_t maximum, int32_t full_scale);

// Gain that brings the peak to full scale (32767 or 127). A silent file (peak 0) gets gain 1.0:
// its samples are all 0 and stay 0.
double peak_gain(int32_t peak, int32_t full_scale);

// Fills the 65536-entry table (index = sample + 32768). With peak > 0 the table maps by the exact
// ratio 32767 / peak, so that the peak lands on full scale; otherwise it multiplies by gain.
// Results are truncated toward zero and clipped to -32767..32767.
void build_table16(int16_t* table, double gain, int32_t peak);
// The 256-entry table for unsigned 8-bit samples (index = byte); clipped to bytes 0..255.
void build_table8(uint8_t* table, double gain, int32_t peak);

// The smallest sample magnitude that a fixed gain takes beyond full scale (limit: 32767 or 127),
// so that it is clipped: samples of this magnitude or more are. limit + 2 when the gain clips none.
int32_t clip_magnitude(double gain, int32_t limit);

// How many 16-bit samples (the first bytes / 2) or unsigned 8-bit samples of the piece have a
// magnitude of at least m.
uint64_t count_clipped16(const unsigned char* piece, uint32_t bytes, int32_t m);
uint64_t count_clipped8(const unsigned char* piece, uint32_t bytes, int32_t m);

// Replaces every sample of the piece by its table entry. For 16-bit samples a trailing odd byte
// is left as it is.
void apply_table16(const int16_t* table, unsigned char* piece, uint32_t bytes);
void apply_table8(const uint8_t* table, unsigned char* piece, uint32_t bytes);

}  // namespace qelp

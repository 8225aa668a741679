#include "normalize_table.h"

#include <cmath>

namespace qelp {

namespace {

inline int16_t load16(const unsigned char* p) { return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8)); }

// Scales one sample by a double gain, truncated toward zero and clipped to +-limit.
int32_t scale_by_gain(int32_t s, double gain, int32_t limit) {
  if (s == 0) return 0;  // 0 x an infinite gain would be no number
  double x = static_cast<double>(s) * gain;
  if (x > static_cast<double>(limit)) return limit;
  if (x < -static_cast<double>(limit)) return -limit;
  if (std::isnan(x)) return 0;
  return static_cast<int32_t>(x);
}

// Scales one sample by limit / peak exactly (integer division truncates toward zero), clipped.
int32_t scale_to_peak(int32_t s, int32_t peak, int32_t limit) {
  int64_t x = static_cast<int64_t>(s) * limit / peak;
  if (x > limit) return limit;
  if (x < -limit) return -limit;
  return static_cast<int32_t>(x);
}

}  // namespace

void scan_peak16(const unsigned char* piece, uint32_t bytes, int32_t* minimum, int32_t* maximum) {
  int32_t lo = *minimum;
  int32_t hi = *maximum;
  const uint32_t samples = bytes / 2;
  for (uint32_t i = 0; i < samples; ++i) {
    int32_t s = load16(piece + 2 * i);
    lo = s < lo ? s : lo;
    hi = s > hi ? s : hi;
  }
  *minimum = lo;
  *maximum = hi;
}

void scan_peak8(const unsigned char* piece, uint32_t bytes, int32_t* minimum, int32_t* maximum) {
  int32_t lo = *minimum;
  int32_t hi = *maximum;
  for (uint32_t i = 0; i < bytes; ++i) {
    int32_t s = static_cast<int32_t>(piece[i]) - 128;
    lo = s < lo ? s : lo;
    hi = s > hi ? s : hi;
  }
  *minimum = lo;
  *maximum = hi;
}

int32_t peak_of(int32_t minimum, int32_t maximum, int32_t full_scale) {
  if (minimum < -full_scale) minimum = -full_scale;
  return maximum > -minimum ? maximum : -minimum;
}

double peak_gain(int32_t peak, int32_t full_scale) {
  if (peak <= 0) return 1.0;
  return (full_scale * 100.0) / (peak * 100);
}

void build_table16(int16_t* table, double gain, int32_t peak) {
  for (int32_t s = -32768; s <= 32767; ++s) {
    int32_t v = peak > 0 ? scale_to_peak(s, peak, 32767) : scale_by_gain(s, gain, 32767);
    table[s + 32768] = static_cast<int16_t>(v);
  }
}

void build_table8(uint8_t* table, double gain, int32_t peak) {
  for (int32_t s = -128; s <= 127; ++s) {
    int32_t byte;
    if (peak > 0) {
      // x = s x 127 / peak, compared and truncated exactly.
      const int32_t num = s * 127;
      if (num > 127 * peak) {
        byte = 255;
      } else if (num < -127 * peak) {
        byte = 0;
      } else {
        byte = num / peak + 128;
      }
    } else {
      const double x = static_cast<double>(s) * gain;
      if (s == 0 || std::isnan(x)) {
        byte = 128;
      } else if (x > 127.0) {
        byte = 255;
      } else if (x < -127.0) {
        byte = 0;
      } else {
        byte = static_cast<int32_t>(x) + 128;
      }
    }
    table[s + 128] = static_cast<uint8_t>(byte);
  }
}

int32_t clip_magnitude(double gain, int32_t limit) {
  // The same test as scale_by_gain: a value beyond +-limit is clipped. The most negative sample
  // has the magnitude limit + 1.
  for (int32_t m = 1; m <= limit + 1; ++m) {
    if (static_cast<double>(m) * gain > static_cast<double>(limit)) return m;
  }
  return limit + 2;
}

uint64_t count_clipped16(const unsigned char* piece, uint32_t bytes, int32_t m) {
  const uint32_t samples = bytes / 2;
  uint64_t count = 0;
  for (uint32_t i = 0; i < samples; ++i) {
    const int32_t s = load16(piece + 2 * i);
    count += (s >= m) | (s <= -m);
  }
  return count;
}

uint64_t count_clipped8(const unsigned char* piece, uint32_t bytes, int32_t m) {
  uint64_t count = 0;
  for (uint32_t i = 0; i < bytes; ++i) {
    const int32_t s = static_cast<int32_t>(piece[i]) - 128;
    count += (s >= m) | (s <= -m);
  }
  return count;
}

void apply_table16(const int16_t* table, unsigned char* piece, uint32_t bytes) {
  const uint32_t samples = bytes / 2;
  for (uint32_t i = 0; i < samples; ++i) {
    unsigned char* p = piece + 2 * i;
    uint16_t index = static_cast<uint16_t>((p[0] | p[1] << 8) ^ 0x8000);
    uint16_t v = static_cast<uint16_t>(table[index]);
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
  }
}

void apply_table8(const uint8_t* table, unsigned char* piece, uint32_t bytes) {
  for (uint32_t i = 0; i < bytes; ++i) piece[i] = table[piece[i]];
}

}  // namespace qelp

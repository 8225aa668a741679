// A/52's frame size code table: nominal bit rate and frame size in 16-bit words per sampling rate.
#pragma once

#include <cstdint>

namespace ac3 {

constexpr int kFrameSizeCodes = 38;

struct frame_size_entry {
  uint16_t bit_rate;     // kbit/s
  uint16_t words[3];     // for fscod 0 (48 kHz), 1 (44.1 kHz), 2 (32 kHz)
};

extern const frame_size_entry frame_size_table[kFrameSizeCodes];

}  // namespace ac3

// Dither for bins that carry no bits: a 16-bit linear feedback register stepped 8 bits at a time.
#pragma once

#include <array>
#include <cstdint>

#include "ac3/decoder_state.h"

namespace ac3 {

// Entry i: i << 8 shifted left eight times within 16 bits, XOR-ing the low part 0xA011 of the
// generator x^16 + x^15 + x^13 + x^4 + 1 after each shift that carries out a one.
constexpr std::array<uint16_t, 256> make_dithertab() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned reg = i << 8;
    for (int bit = 0; bit < 8; ++bit) {
      const bool carry = (reg & 0x8000u) != 0;
      reg = (reg << 1) & 0xFFFFu;
      if (carry) reg ^= 0xA011u;
    }
    table[i] = static_cast<uint16_t>(reg);
  }
  return table;
}

inline constexpr std::array<uint16_t, 256> dithertab = make_dithertab();
static_assert(dithertab[1] == 0xA011 && dithertab[2] == 0xE033);

// One step of the register: eight bits at a time.
inline uint16_t dither_step(uint16_t reg) {
  return static_cast<uint16_t>(dithertab[reg >> 8] ^ ((reg << 8) & 0xFFFFu));
}

// The dither value of a register state: about 0.707 times the register taken as signed 16-bit.
inline int16_t dither_value(uint16_t reg) {
  return static_cast<int16_t>((static_cast<int16_t>(reg) * 181) >> 8);
}

// The dither value at the mantissa scale (full scale 2^31, see mantissas.h).
inline float dither_mantissa(uint16_t reg) { return static_cast<float>(dither_value(reg)) * 65536.0f; }

// Steps the decoder's register and gives the new dither value. The register starts at 1 when the
// decoder is reset and runs on across blocks and frames.
int16_t dither_next(decoder& d);

}  // namespace ac3

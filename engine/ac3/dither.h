// Dither for bins that carry no bits: a 16-bit linear feedback register stepped 8 bits at a time.
// The register runs through all 65535 non-zero states before it repeats, so the decoder keeps its
// place in that cycle and reads the dither values from a table made once, instead of stepping the
// register bin by bin (a chain of dependent table look-ups).
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
constexpr uint16_t dither_step(uint16_t reg) {
  return static_cast<uint16_t>(dithertab[reg >> 8] ^ ((reg << 8) & 0xFFFFu));
}

// The dither value of a register state: about 0.707 times the register taken as signed 16-bit.
constexpr int16_t dither_value(uint16_t reg) {
  return static_cast<int16_t>((static_cast<int16_t>(reg) * 181) >> 8);
}

// The dither value at the mantissa scale (full scale 2^31, see mantissas.h).
constexpr float dither_mantissa(uint16_t reg) { return static_cast<float>(dither_value(reg)) * 65536.0f; }

// The register's cycle; the decoder's dither_position counts steps from the state 1 (a reset
// decoder's register) around it.
constexpr int kDitherCycle = 65535;

// values[p]: the dither mantissa of the step after position p, that is of the register's state
// p + 1 steps after 1. The first kBins entries are repeated at the end, so that a channel (at most
// kBins values) reads on from any position without wrapping; wrap the position after it.
struct dither_sequence {
  float values[kDitherCycle + kBins];
};
extern const dither_sequence dither_values;

// The position after taking count values from position p (count <= kBins).
inline uint16_t dither_advance(int p, int count) {
  const int next = p + count;
  return static_cast<uint16_t>(next >= kDitherCycle ? next - kDitherCycle : next);
}

// Takes the decoder's next dither value, at the mantissa scale.
float dither_next(decoder& d);

}  // namespace ac3

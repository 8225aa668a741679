#include "ac3/dither.h"

#include <array>

namespace ac3 {

namespace {

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

constexpr std::array<uint16_t, 256> dithertab = make_dithertab();
static_assert(dithertab[1] == 0xA011 && dithertab[2] == 0xE033);

uint16_t g_register = 1;

}  // namespace

int16_t dither_next() {
  g_register = static_cast<uint16_t>(dithertab[g_register >> 8] ^ ((g_register << 8) & 0xFFFFu));
  const int value = static_cast<int16_t>(g_register) * 181;
  return static_cast<int16_t>(value >> 8);
}

uint16_t dither_register() { return g_register; }
void dither_register_set(uint16_t value) { g_register = value; }

}  // namespace ac3

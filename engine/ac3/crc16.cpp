#include "ac3/crc16.h"

#include <array>

namespace ac3 {

namespace {

constexpr uint16_t kGenerator = 0x8005;  // x^16 + x^15 + x^2 + 1 without its x^16 term

constexpr std::array<uint16_t, 256> make_table() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned r = i << 8;
    for (int bit = 0; bit < 8; ++bit) {
      r = (r & 0x8000u) ? ((r << 1) ^ kGenerator) : (r << 1);
      r &= 0xffffu;
    }
    table[i] = static_cast<uint16_t>(r);
  }
  return table;
}

constexpr std::array<uint16_t, 256> kTable = make_table();

// Slicing tables: entry v of table j is the register after byte v followed by j zero bytes, from a
// zero register. The CRC is linear, so eight bytes fold into the register with eight look-ups.
constexpr int kSlice = 8;
constexpr std::array<std::array<uint16_t, 256>, kSlice> make_slices() {
  std::array<std::array<uint16_t, 256>, kSlice> slices{};
  slices[0] = kTable;
  for (int j = 1; j < kSlice; ++j) {
    for (unsigned v = 0; v < 256; ++v) {
      const unsigned prev = slices[j - 1][v];
      slices[j][v] = static_cast<uint16_t>(kTable[prev >> 8] ^ ((prev << 8) & 0xffffu));
    }
  }
  return slices;
}

constexpr auto kSlices = make_slices();

}  // namespace

uint16_t crc16_update(uint16_t reg, const uint8_t* data, int n) {
  int i = 0;
  for (; i + kSlice <= n; i += kSlice) {
    const uint8_t* p = data + i;
    // The register's two bytes combine with the first two data bytes.
    reg = static_cast<uint16_t>(kSlices[7][p[0] ^ (reg >> 8)] ^ kSlices[6][p[1] ^ (reg & 0xffu)] ^
                                kSlices[5][p[2]] ^ kSlices[4][p[3]] ^ kSlices[3][p[4]] ^ kSlices[2][p[5]] ^
                                kSlices[1][p[6]] ^ kSlices[0][p[7]]);
  }
  for (; i < n; ++i) reg = static_cast<uint16_t>(kTable[((reg >> 8) ^ data[i]) & 0xffu] ^ (reg << 8));
  return reg;
}

}  // namespace ac3

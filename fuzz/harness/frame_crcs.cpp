#include "harness/frame_crcs.h"

#include "ac3/crc16.h"
#include "ac3/frame_size_table.h"

namespace fuzz_harness {

namespace {

// The register after the two bytes of value followed by zeros bytes of zeros, from 0.
uint16_t crc_of_value_then_zeros(uint16_t value, size_t zeros) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  uint16_t reg = ac3::crc16_update(0, bytes, 2);
  static const uint8_t zero_block[256] = {};
  while (zeros > 0) {
    const int n = zeros < sizeof zero_block ? static_cast<int>(zeros) : static_cast<int>(sizeof zero_block);
    reg = ac3::crc16_update(reg, zero_block, n);
    zeros -= static_cast<size_t>(n);
  }
  return reg;
}

// crc1 for the first 5/8 of a frame (from the byte after the sync word, size58 - 2 bytes): the
// value whose register over [crc1, rest] is 0. The register is linear in crc1's bits, so the
// columns of that map, one per bit, are reduced to a basis and combined to cancel the rest's register.
uint16_t solve_crc1(const uint8_t* rest, size_t rest_size) {
  const uint16_t target = ac3::crc16_update(0, rest, static_cast<int>(rest_size));
  uint16_t pivot_value[16] = {}, pivot_bits[16] = {};
  bool present[16] = {};
  for (int bit = 0; bit < 16; ++bit) {
    uint16_t v = crc_of_value_then_zeros(static_cast<uint16_t>(1u << bit), rest_size);
    uint16_t m = static_cast<uint16_t>(1u << bit);
    for (int lead = 15; lead >= 0 && v != 0; --lead) {
      if (!((v >> lead) & 1u)) continue;
      if (!present[lead]) {
        present[lead] = true;
        pivot_value[lead] = v;
        pivot_bits[lead] = m;
        break;
      }
      v = static_cast<uint16_t>(v ^ pivot_value[lead]);
      m = static_cast<uint16_t>(m ^ pivot_bits[lead]);
    }
  }
  // The generator's constant term makes the map invertible: every lead has a pivot.
  uint16_t crc1 = 0, left = target;
  for (int lead = 15; lead >= 0; --lead) {
    if (!((left >> lead) & 1u) || !present[lead]) continue;
    left = static_cast<uint16_t>(left ^ pivot_value[lead]);
    crc1 = static_cast<uint16_t>(crc1 ^ pivot_bits[lead]);
  }
  return crc1;
}

}  // namespace

int rewrite_frame_crcs(uint8_t* stream, size_t size) {
  int rewritten = 0;
  size_t p = 0;
  while (p + 5 <= size) {
    if (stream[p] != 0x0B || stream[p + 1] != 0x77) {
      ++p;
      continue;
    }
    const int fscod = stream[p + 4] >> 6, frmsizecod = stream[p + 4] & 0x3f;
    if (fscod == 3 || frmsizecod >= ac3::kFrameSizeCodes) {
      p += 5;
      continue;
    }
    const size_t words = ac3::frame_size_table[frmsizecod].words[fscod];
    const size_t frame = 2 * words;
    if (p + frame > size) break;
    uint8_t* f = stream + p;
    const size_t size58 = 2 * ((words >> 1) + (words >> 3));
    const uint16_t crc1 = solve_crc1(f + 4, size58 - 4);
    f[2] = static_cast<uint8_t>(crc1 >> 8);
    f[3] = static_cast<uint8_t>(crc1);
    const uint16_t crc2 = ac3::crc16_update(0, f + 2, static_cast<int>(frame - 4));
    f[frame - 2] = static_cast<uint8_t>(crc2 >> 8);
    f[frame - 1] = static_cast<uint8_t>(crc2);
    ++rewritten;
    p += frame;
  }
  return rewritten;
}

}  // namespace fuzz_harness

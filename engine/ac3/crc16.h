// The A/52 CRC with generator x^16 + x^15 + x^2 + 1: byte by byte, or eight bytes at a time over a block.
#pragma once

#include <cstdint>

namespace ac3 {

void crc16_reset();
void crc16_byte(uint8_t b);
void crc16_block(const uint8_t* data, int n);
bool crc16_is_zero();
uint16_t crc16_value();

// The same register arithmetic on a caller's register, for scans beside the decoder.
uint16_t crc16_update(uint16_t reg, const uint8_t* data, int n);

}  // namespace ac3

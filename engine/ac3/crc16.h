// The A/52 CRC with generator x^16 + x^15 + x^2 + 1, one byte at a time.
#pragma once

#include <cstdint>

namespace ac3 {

void crc16_reset();
void crc16_byte(uint8_t b);
void crc16_block(const uint8_t* data, int n);
bool crc16_is_zero();
uint16_t crc16_value();

}  // namespace ac3

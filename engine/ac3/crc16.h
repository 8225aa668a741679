// The A/52 CRC with generator x^16 + x^15 + x^2 + 1: byte by byte, or eight bytes at a time over a block.
#pragma once

#include <cstdint>

namespace ac3 {

// The register after n bytes of data, starting from reg (0 for a new check). A frame passes its
// check when the register over its bytes after the sync word is 0.
uint16_t crc16_update(uint16_t reg, const uint8_t* data, int n);

// A frame that fails its check is muted. A fuzzing build (FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION,
// which the QELP_FUZZ option sets) still runs the check and records its verdict, but parses the
// frame anyway, so that mutated frames reach every stage. Never set it for a build that plays or
// converts real input.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr bool kCrcFailureMutes = false;
#else
constexpr bool kCrcFailureMutes = true;
#endif

}  // namespace ac3

// Dither for bins that carry no bits: a 16-bit linear feedback register stepped 8 bits at a time.
#pragma once

#include <cstdint>

namespace ac3 {

// The next dither value, about 0.707 times the register taken as signed 16-bit. The register
// starts at 1 at library load and runs on across blocks, frames and restarts.
int16_t dither_next();

// The register, for tests that need a known starting point.
uint16_t dither_register();
void dither_register_set(uint16_t value);

}  // namespace ac3

#include "ac3/dither.h"

namespace ac3 {

namespace {

dither_sequence make_sequence() {
  dither_sequence s{};
  uint16_t reg = 1;
  for (int p = 0; p < kDitherCycle; ++p) {
    reg = dither_step(reg);
    s.values[p] = dither_mantissa(reg);
  }
  for (int p = 0; p < kBins; ++p) s.values[kDitherCycle + p] = s.values[p];
  return s;
}

}  // namespace

// Made when the library is loaded (65535 steps) and never changed after.
const dither_sequence dither_values = make_sequence();

float dither_next(decoder& d) {
  const float value = dither_values.values[d.dither_position];
  d.dither_position = dither_advance(d.dither_position, 1);
  return value;
}

}  // namespace ac3

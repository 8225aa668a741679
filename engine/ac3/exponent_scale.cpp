#include "ac3/exponent_scale.h"

namespace ac3 {

namespace {

constexpr float scale_of(int e) {
  double s = 1.0 / 32768.0;
  for (int i = 0; i < e; ++i) s *= 0.5;
  return static_cast<float>(s);
}

}  // namespace

// Powers of two, exact in float.
const float exponent_scale[kExponentScaleEntries] = {
    scale_of(0),  scale_of(1),  scale_of(2),  scale_of(3),  scale_of(4),  scale_of(5),  scale_of(6),
    scale_of(7),  scale_of(8),  scale_of(9),  scale_of(10), scale_of(11), scale_of(12), scale_of(13),
    scale_of(14), scale_of(15), scale_of(16), scale_of(17), scale_of(18), scale_of(19), scale_of(20),
    scale_of(21), scale_of(22), scale_of(23), scale_of(24)};

}  // namespace ac3

// Scale of an exponent: entry e is 2^-(15 + e), so a mantissa value of 32768 with exponent e
// gives 2^-e.
#pragma once

namespace ac3 {

constexpr int kExponentScaleEntries = 25;
extern const float exponent_scale[kExponentScaleEntries];

}  // namespace ac3

// Expansion of differentially coded exponent sets into one exponent per bin.
#pragma once

#include <cstdint>

#include "ac3/decoder_state.h"

namespace ac3 {

constexpr int kMaxExponent = 24;   // exponent_scale has entries 0..24

enum class exponent_kind { full_bandwidth, coupling, lfe };

// Unpacks one exponent set with strategy 0 (reuse: nothing changes), 1 (D15), 2 (D25) or 3 (D45)
// into target, which has room for capacity exponents. The coupling channel stores no exponent for
// its absolute value. A group above 124, an exponent outside 0..24 or a write beyond capacity
// prints the invalid-exponent message (unless the frame is already bad), sets the decoder's
// error_flag and returns false; what was stored before stays.
bool expand_exponent_set(decoder& d, exponent_kind kind, int strategy, int groups, int absolute,
                         const uint16_t* grps, uint16_t* target, int capacity);

}  // namespace ac3

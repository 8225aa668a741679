// What the stream-information target runs on one input, shared with the regression tests: the
// header scan behind `qelp info`, qelpsnd_stream_info and the start-up check of a conversion, over
// an input made from the bytes.
//
// Input layout: the stream, then one settings byte: bit 0 scans all frames (else up to the first
// good one), bit 1 reads through a small kept head first and then scans again from the replayed
// head, as a conversion's start-up check does, bit 2 stops after 4096 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz_harness {

// Scans twice; checks a verdict of 0 or 1, a description of a real frame or an error text, counts
// that add up, and the same answer both times. Returns nullptr when all hold, else a text naming
// the broken invariant.
const char* run_stream_info(const uint8_t* data, size_t size);

}  // namespace fuzz_harness

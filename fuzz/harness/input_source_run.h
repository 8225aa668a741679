// What the input-source target runs on one input, shared with the regression tests: how the engine
// tells a file's kind from its head (raw AC-3, IEC 61937 bursts in WAVE, container), where a WAVE
// file's data lie, where the first burst preamble is, whether the stream starts with E-AC-3; and the
// IEC 61937 unwrapping over the whole input as a file, read in pieces of a size the input chooses.
//
// Input layout: the file's bytes; its last byte also chooses the read size (1 to 4096 bytes).
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz_harness {

// Checks that every answer about the head lies within it, that the burst source never hands out
// more than asked, more than the file holds or a count that disagrees with what it fetched, and
// that its read position only moves forward within the file. Returns nullptr when all hold, else
// a text naming the broken invariant.
const char* run_input_source(const uint8_t* data, size_t size);

}  // namespace fuzz_harness

// What the decoder fuzz targets run on one input, shared with the regression tests that replay
// their findings: a fresh decoder fed the input through its fill callback, frame after frame, with
// the invariants checked after every frame.
//
// Input layout: the stream's bytes, then one settings byte (the last byte of the input). Taking the
// settings from the end keeps a stream at the start of the input whole, sync word included.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz_harness {

struct decode_settings {
  size_t chunk_bytes = 2047;        // bytes per fill call
  uint16_t dual_mono_channel = 0;   // which programme of a 1+1 stream is heard
  int32_t surround_mode = 0;        // surround-compatible fold-down
  int32_t portable_vectors = 0;     // the portable transform and output code instead of SSE2
};

struct fuzz_input {
  const uint8_t* stream = nullptr;
  size_t size = 0;
  decode_settings settings;
};

// The settings byte: bits 0..2 pick the chunk size, bit 3 the dual-mono channel, bit 4 the
// surround-compatible fold-down, bit 5 the portable vector code; the other bits are ignored. An empty input is an empty stream.
fuzz_input split_input(const uint8_t* data, size_t size);

// The settings byte for these settings, for writing seeds (chunk_bytes must be one of the choices).
uint8_t settings_byte(const decode_settings& settings);

enum class stages {
  parse,        // syncinfo, bsi and each block's side information, exponents, bit allocation,
                // mantissas, coupling and rematrixing, with the consistency checks; no transform
  whole_frame,  // decode_one_frame: all of the above, fold-down, transform and 16-bit output
};

// Decodes up to max_frames frames of the stream twice, each time with a decoder of its own, and
// checks that every call consumes input, yields a full PCM frame (all zeros when muted) of samples
// within +-32767, leaves the transform's state finite, and that both runs give the same output.
// Returns nullptr when all hold, else a text naming the broken invariant.
const char* run_decoder(const fuzz_input& input, stages which, int max_frames);

// One fuzzer input through run_decoder with the diagnostics silenced; a broken invariant is
// printed and trapped, so the fuzzer keeps the input.
void fuzz_one_input(const uint8_t* data, size_t size, stages which, int max_frames);

}  // namespace fuzz_harness

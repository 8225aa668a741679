// Comparing our 16-bit output with FFmpeg's float channels folded by our matrix.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "ffmpeg_reference.h"
#include "support/stream_decoding.h"

namespace accuracy {

constexpr size_t kFrameSamples = 1536;

// FFmpeg's first output sample corresponds to our first: both start the overlap from silence and
// neither delays nor trims its output. Found by experiment on the dither-free fixtures: unshifted,
// the outputs agree within 1 LSB from the first sample on (signal-to-error within 0.1 dB of ideal
// truncation); shifted by 1 or 256 samples they differ by thousands of LSB.
constexpr size_t kReferenceOffset = 0;

struct channel_stats {
  size_t compared = 0, beyond_full_scale = 0;
  int worst_difference = 0;
  size_t worst_at = 0;
  double signal = 0, error_ours = 0, error_ideal = 0;
  double ser_ours() const;
  double ser_ideal() const;
};

// Output channel `side` (0 left, 1 right) of ours against 32767 x the folded reference: samples of
// the reference at or beyond full scale are left out; the ideal is the reference truncated toward
// zero, whose signal-to-error ratio is the best a 16-bit output can reach.
channel_stats compare_channel(const our_output& ours, const std::vector<double>& ref, int side);

// The whole check of a dither-free stream, as gtest expectations: lengths agree to the frame; no
// sample more than 1 LSB from the ideal; each side's signal-to-error within 0.1 dB of the ideal's.
void expect_matches_reference(const our_output& ours, const reference_output& ref, bool surround,
                              int dual_mono_channel = 0);

}  // namespace accuracy

// Whole AC-3 streams in memory, for tests that cut, damage and splice them: the frames a clean
// stream is made of, and the same stream without dither.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qelp_test {

struct FrameSpan {
  size_t offset;  // of the sync word
  size_t size;    // bytes
};

// The frames of a clean stream, back to back from its start, read from each frame's syncinfo.
// Empty when the bytes are not such a sequence (zero padding after the last frame is allowed).
std::vector<FrameSpan> split_frames(const std::vector<uint8_t>& stream);

// The stream with every dithflag bit cleared and each frame's crc2 recomputed, so that bins without
// mantissa bits decode to zero instead of noise from a generator that runs on across frames: two
// decodings of the same frames then agree exactly whatever came before them. Positions come from
// the decoder's own parser. Empty when a frame does not parse cleanly.
std::vector<uint8_t> without_dither(const std::vector<uint8_t>& stream);

}  // namespace qelp_test

// Rewrites both CRCs of every whole syncframe in a byte stream, so that a fuzzer's finding, made
// with the CRC verdict ignored, becomes an input that the production decoder parses too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz_harness {

// Walks the stream as the decoder's sync search does (a sync word with a valid header starts a
// frame of its size, the search resumes behind it; a bad header is skipped with its five bytes)
// and sets crc1 (over the first 5/8 of each whole frame) and crc2 (over the rest). A frame cut
// short by the stream's end is left as it is. Returns the number of frames rewritten.
int rewrite_frame_crcs(uint8_t* stream, size_t size);

}  // namespace fuzz_harness

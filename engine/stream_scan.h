// Reads an AC-3 file's frame headers with the decoder's own sync search, CRC check and bit stream
// information parser, without decoding audio. Used by qelpsnd_stream_info and by InitEncoder to
// refuse a file that holds no AC-3 audio before anything is created.
#pragma once

#include <cstdint>

#include "ac3/decoder_state.h"
#include "qelpsnd.h"

namespace qelp {

struct ScanLimits {
  bool all_frames;        // false: stop at the first frame that passes its CRC check
  uint64_t byte_limit;    // stop after this many bytes of the file (0: no limit)
};

// Scans with decoder, which it resets and leaves holding the scan's last frame. Returns 1 when a
// frame passing its CRC check was found; 0 otherwise, with error_text saying why.
int stream_scan(ac3::decoder& decoder, const char* path, ScanLimits limits, QelpsndStreamInfo& info,
                char* error_text, int error_size);

}  // namespace qelp

// Reads an AC-3 file's frame headers with the decoder's own sync search, CRC check and bit stream
// information parser, without decoding audio. Used by qelpsnd_stream_info and by InitEncoder to
// refuse a file that holds no AC-3 audio before anything is created.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qelpsnd.h"

namespace qelp {

struct ScanLimits {
  bool all_frames;        // false: stop at the first frame that passes its CRC check
  uint64_t byte_limit;    // stop after this many bytes of the file (0: no limit)
};

// Returns 1 when a frame passing its CRC check was found; 0 otherwise, with error_text saying why.
int stream_scan(const char* path, ScanLimits limits, QelpsndStreamInfo& info, char* error_text, int error_size);

// Where a scan takes its bytes from: read puts up to count bytes into `into` and returns how many;
// fewer than count means the input has ended.
struct ScanSource {
  size_t (*read)(void* context, uint8_t* into, size_t count);
  void* context;
};

// The same over any source; name stands for it in error_text.
int stream_scan_source(ScanSource source, const char* name, ScanLimits limits, QelpsndStreamInfo& info,
                       char* error_text, int error_size);

// The one way the engine says that a file holds no AC-3 audio, in error_text.
void say_no_ac3_audio(const char* name, bool frames_seen, char* error_text, int error_size);

}  // namespace qelp

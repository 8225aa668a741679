// Reads an AC-3 input's frame headers with the decoder's own sync search, CRC check and bit stream
// information parser, without decoding audio. Used by qelpsnd_stream_info, qelpsnd_holds_ac3 and by
// InitEncoder to refuse an input that holds no AC-3 audio before anything is created.
#pragma once

#include <cstdint>

#include "ac3/decoder_state.h"
#include "file_input.h"
#include "input_source.h"
#include "qelpsnd.h"

namespace qelp {

struct ScanLimits {
  bool all_frames;      // false: stop at the first frame that passes its CRC check
  uint64_t byte_limit;  // stop after this many bytes of the input (0: no limit)
};

// Scans the AC-3 stream chosen in the file at path (open_input_source: a raw stream, IEC 61937
// bursts or a container's track) with decoder, which it resets and leaves holding the scan's last
// frame. Returns 1 when a frame passing its CRC check was found; 0 otherwise, with error_text saying
// why (also when the stream is in another codec).
int stream_scan(ac3::decoder& decoder, const char* path, TrackChoice choice, ScanLimits limits,
                QelpsndStreamInfo& info, char* error_text, int error_size);

// The same over an input already open, from the read position its fill gives next; name stands for
// it in error_text. The input is left open, the decoder without a callback.
int stream_scan_input(ac3::decoder& decoder, FileInput& input, const char* name, ScanLimits limits,
                      QelpsndStreamInfo& info, char* error_text, int error_size);

// The one way the engine says that an input holds no AC-3 audio, in error_text.
void say_no_ac3_audio(const char* name, bool frames_seen, char* error_text, int error_size);

}  // namespace qelp

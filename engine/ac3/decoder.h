// The AC-3 decoder as the engine sees it: a fill callback for input, decoder_reset, decoder_init,
// decode_one_frame. All of a decoder's state is one struct (decoder_state.h) that its owner keeps;
// decoders share nothing that changes, so each may run on its own thread.
#pragma once

#include <cstdint>

namespace ac3 {

constexpr int kPcmFrameBytes = 6144;       // 1536 stereo pairs of signed 16-bit little-endian samples
constexpr int kPcmBlockBytes = 1024;       // one audio block: 256 pairs
constexpr int kBlocksPerFrame = 6;

// Sets start and end to the first byte and one past the last byte of the next input chunk. user is
// the decoder_config's fill_user. Chunks are never empty. The return value is not used.
using fill_callback = int (*)(void* user, uint8_t** start, uint8_t** end);

struct decoder_config {
  uint32_t flags;              // no flag is interpreted; the engine passes 0
  fill_callback fill;          // the input callback
  uint16_t output_channels;    // the engine passes 2; the decoder always produces two
  uint16_t dual_mono_channel;  // which channel of a 1+1 stream is heard (0: Ch1)
  void* fill_user;             // handed to fill with every call
};

// What one call found in the input. Only a frame whose check passed has a size to be trusted: a
// frame that failed its CRC may be a real frame damaged on the way or a false sync word in other
// bytes, so the decoder searches again from the byte after its sync word, and the owner decides
// which it was by where the next frame starts (see the engine's frame_sequence.h).
enum class frame_kind : int32_t {
  decoded = 0,     // a frame that passed its checks, decoded into pcm
  no_sync = 1,     // the search gave up (see kSyncSearchLimit) without a sync word; call again
  crc_failed = 2,  // the CRC check failed; the next search starts after its sync word
  bad_header = 3,  // a reserved rate or size code: no frame; the next search starts after its sync word
  damaged = 4,     // the CRC passed but the frame cannot be decoded (an unknown bsid, a failed
                   // check in its blocks); its bytes are used up
  eac3 = 5,        // an E-AC-3 frame (bsid 11 to 16) that passed its CRC: not decoded, bytes used up
};

struct decoded_frame {
  uint32_t sampling_rate;    // 48000, 44100 or 32000
  uint8_t* pcm;              // the decoder's 6144-byte PCM frame, reused for every frame
  int32_t muted;             // 1: the frame failed its CRC or checks (or no sync word was found)
                             // and pcm is all zeros; 0: decoded
  uint32_t samples_clipped;  // samples of pcm that the fold-down limited to full scale
  frame_kind kind;
  uint64_t sync_start;   // input position of the sync word (UINT64_MAX: none found)
  uint64_t claimed_end;  // sync_start plus the size the header states (sync_start + 6
                         // for a bad header)
};

// Bytes the sync search examines per call before it returns frame_kind::no_sync, so that the
// caller keeps control over input of any length.
constexpr int kSyncSearchLimit = 65536;

struct decoder;

// Puts the decoder in the state of a new one: no input, no overlap in the transform, the dither
// register at 1, no kept exponents, allocation or coupling, the counters at zero.
void decoder_reset(decoder& d);

// Installs the callback and the output choice and arms the guards. Leaves the input position, the
// transform's overlap, the kept exponent/allocation/coupling state and the counters as they are.
void decoder_init(decoder& d, const decoder_config& config);

// Decodes the next frame from the input. Never null; a bad frame leaves the PCM frame all zeros.
decoded_frame* decode_one_frame(decoder& d);

}  // namespace ac3

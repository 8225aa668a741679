// The decoder's whole state: one plain struct that every stage takes by reference. Its owner (the
// engine object's reader, a scan, a test) decides how long it lives; the decoder keeps nothing
// anywhere else. The tables the stages read are constant and shared.
#pragma once

#include <cstdint>

#include "ac3/decoder.h"
#include "ac3/records.h"

namespace ac3 {

// Time-domain or frequency-domain samples: slots 0..4 full-bandwidth channels in stream order,
// slot 5 the LFE channel.
using coeff_buffer_t = float[kCoeffSlots][kBins];

// The largest AC-3 frame is 1920 words, the largest E-AC-3 frame (whose CRC is checked, though it
// is not decoded) 2048; the buffer holds either without its first five bytes, plus room for the
// reader's last whole word.
constexpr int kFrameBufferBytes = 4096;
// A frame that failed its check is searched again from the byte after its sync word: its bytes
// (all but the sync word) and what of an earlier replay was not read yet are kept here.
constexpr int kReplayBytes = kFrameBufferBytes + 8;
// Zero bytes behind the largest frame, so that readers may load whole words (and the mantissa loop
// eight bytes at a time, up to one channel's worth of bits) past the data without a bounds check.
constexpr int kFrameBufferSlack = 528;

// The input as the fill callback hands it over, a chunk at a time.
struct chunk_input {
  fill_callback fill;  // from decoder_config
  void* fill_user;
  uint8_t* pos;            // next byte of the current chunk
  uint8_t* end;            // one past its last byte
  uint64_t consumed;       // bytes taken from the chunks since the decoder was reset
  uint64_t last_sync_end;  // consumed at the end of the last sync word; UINT64_MAX when none was found
  // While a failed frame's bytes are read again, pos and end point into replay, and the callback's
  // chunk that was being read waits here (its bytes stay valid: the callback is not called).
  bool replaying;
  uint8_t* saved_pos;
  uint8_t* saved_end;
  uint8_t replay[kReplayBytes];
};

// The read position. Hot loops copy it into a local variable, so that it stays in registers, and
// store it back when they are done.
struct bit_cursor {
  uint32_t word;            // current word, the stream's first byte most significant
  int bits_left;            // unread low-order bits of word (0..32)
  const uint8_t* next;      // next word to load from frame_buffer
  const uint8_t* data_end;  // one past the frame's data in frame_buffer
  int words_past_end;       // zero words handed out after the frame's data, for bits_position
};

// The frame body being read and the cursor over it.
struct bit_reader : bit_cursor {
  int data_bytes;   // bytes of the frame body loaded
  int bytes_dirty;  // bytes at the buffer's start that may be non-zero
  uint8_t frame_buffer[kFrameBufferBytes + kFrameBufferSlack];  // zero behind the data
};

// Group digits of the grouped quantizers (bap 1, 2 and 4) not yet handed out, by bap. A group may
// span channels within a block, never blocks.
constexpr int kBaps = 16;
struct group_slots {
  uint32_t pending[kBaps];  // level indices of the digits left, first in the low byte; 0: none
};

// The bit allocation's inputs and result of one channel's last run. Most blocks send new exponents
// for some channels only, and the baps of the others come out as before: a channel whose inputs
// equal those of its last run gets that run's baps again instead of a new run.
struct allocation_parameters {
  int sdecay, fdecay, sgain, dbknee, floor;
};
struct channel_inputs {
  int start, end, fgain, fastleak, slowleak, snroffset, fscod;
  bool lfe_rule;
  allocation_parameters p;
  bool delta_applied;
  int nseg;
  uint16_t offst[kMaxDeltaSegments], len[kMaxDeltaSegments], ba[kMaxDeltaSegments];
  uint16_t exps[kBins];  // only the run's bins are kept
};
struct channel_memory {
  bool valid;
  bool ok;
  channel_inputs inputs;
  uint16_t baps[kBins];
};
// Slots 0..4 full-bandwidth channels, 5 the coupling channel, 6 the LFE channel.
constexpr int kAllocationSlots = kMaxFbwChannels + 2;

// The fold-down's outputs: left and right. A mono programme (1/0, 1+1) has one, heard on both sides.
constexpr int kOutputs = 2;
// A channel's block uses the 512-sample transform, or with blksw set the pair of 256-sample ones.
constexpr int kLongTransform = 0;
constexpr int kShortTransform = 1;
constexpr int kTransformLengths = 2;

// A block's channels folded down before the transform. The transform, window and overlap-add are
// linear, so transforming the fold-down's weighted sum of coefficients gives the weighted sum of the
// channels' samples: one transform per output and length instead of one per channel. Channels are
// summed by the transform length they use; the lengths are transformed apart and added after.
struct folded_block {
  int outputs;                             // 1 for a mono programme, else 2
  bool used[kOutputs][kTransformLengths];  // some channel of this length reaches the output
  alignas(16) float coeffs[kOutputs][kTransformLengths][kBins];  // scaled to 16-bit full scale
};

struct decoder {
  decoder_config config;
  int32_t surround_mode;     // surround-compatible fold-down when non-zero
  int32_t portable_vectors;  // run the portable vector code even where the SSE2 code is built

  // Input: the callback's chunks, and the frame body with the bit reader over it.
  chunk_input input;
  bit_reader bits;

  // The records, with A/52's reuse rules: fields a block or frame does not send keep their values.
  ::ac3::syncinfo syncinfo;
  ::ac3::bsi bsi;
  ::ac3::audblk audblk;

  channel_memory allocation[kAllocationSlots];  // the bit allocation's reuse cache
  group_slots groups;                           // the mantissa reader's pending group digits
  uint16_t dither_position;                     // in the dither register's cycle (dither.h); runs
                                                // on across blocks and frames

  coeff_buffer_t coeffs;                       // the block's coefficients, by channel slot
  folded_block folded;                         // the coefficients folded down to the outputs
  alignas(16) float samples[kOutputs][kBins];  // the outputs' time samples, 16-bit full scale
  alignas(16) float delay[kOutputs][kBins];    // the transform's overlap, per output

  uint8_t pcm[kPcmFrameBytes];  // the frame's output
  decoded_frame frame;          // what decode_one_frame returns: rate and pcm

  int32_t error_flag;      // the current frame is bad; cleared when the frame is given up
  int32_t crc_failed;      // the last frame's CRC check failed (it is bad unless kCrcFailureMutes
                           // is off, as in fuzzing builds)
  int32_t frame_counter;   // frames begun since the reset
  int32_t banner_printed;  // the stream banner has been printed (once per reset)
};

}  // namespace ac3

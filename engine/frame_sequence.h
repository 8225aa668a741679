// Which of the frames that the sync search finds belong to the stream, and which input bytes were
// passed over. One rule for the conversion, the player, the start-up check and qelp info.
//
// A frame that passes its CRC check is the stream's (decoded, or silent when it cannot be decoded;
// an E-AC-3 frame is the stream's but is not decoded). A frame that fails its CRC check may be a
// real frame damaged on the way or a false sync word in other bytes; the decoder searches again from
// the byte after its sync word, and the failed frame is held back until the next frame tells:
//   - a frame found inside the failed frame's claimed span: the failed one was false, and its bytes
//     up to that frame were passed over (frames inside a held frame's span that fail too are
//     passed over with it);
//   - the next frame starts where the failed one claimed to end, or a few bytes later (bytes
//     inserted into it, such as the packet headers of an MPEG program stream): it was a real,
//     damaged frame, delivered silent before the next one, so that the timing stays;
//   - the next frame starts further on: the failed one cannot be told from junk, its bytes count
//     as passed over (damage is reported either way).
// At the end of the input a held frame is delivered silent when it reaches the input's end (a
// damaged last frame, or one the end cut off). Bytes behind the last frame count as passed over
// and, apart, as bytes after the last frame (padding or a cut: no frame is lost there).
#pragma once

#include <cstdint>

#include "ac3/decoder.h"

namespace qelp {

// The most bytes found between a failed frame's claimed end and the next frame for the failed one
// to count as a real frame (an MPEG program stream's pack and packet headers take about 35).
constexpr uint64_t kInsertedBytesMax = 64;

// A frame found at sync_start belongs to the input when its header (the sync word and the three
// bytes after it) lies within the input's real_end bytes. A sync word at the very end has its
// header in the zero padding behind the input, and zeros there make a frame that passes its check.
inline bool header_within_input(uint64_t sync_start, uint64_t real_end) {
  return sync_start <= real_end && real_end - sync_start >= 5;
}

class FrameSequence {
 public:
  // What to deliver for one frame the search found, in this order.
  struct Step {
    bool held_frame = false;  // the frame held back before it, as a silent frame
    bool this_frame = false;  // this frame (its kind says whether it is decoded or silent)
  };

  // Starts afresh at input position 0.
  void reset();

  // A frame the search found at start whose header claims it ends at claimed_end. no_sync and
  // bad_header are no frames and give an empty step.
  Step found(ac3::frame_kind kind, uint64_t start, uint64_t claimed_end);

  // The input ended after real_end bytes. True when the held frame is delivered, silent.
  bool finish(uint64_t real_end);

  uint64_t bytes_skipped = 0;     // input bytes outside the delivered and E-AC-3 frames
  uint64_t bytes_after_last = 0;  // of those, the ones behind the last frame (known after finish)
  uint32_t eac3_frames = 0;       // E-AC-3 frames found (not delivered)

 private:
  // A frame [start, end) is taken: the bytes between the last one and it were passed over.
  void take(uint64_t start, uint64_t end);

  uint64_t taken_end_ = 0;  // where the last taken frame ends
  bool holding_ = false;
  uint64_t held_start_ = 0;
  uint64_t held_end_ = 0;
};

}  // namespace qelp

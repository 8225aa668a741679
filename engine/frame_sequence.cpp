#include "frame_sequence.h"

namespace qelp {

void FrameSequence::reset() { *this = FrameSequence{}; }

void FrameSequence::take(uint64_t start, uint64_t end) {
  if (start > taken_end_) bytes_skipped += start - taken_end_;
  if (end > taken_end_) taken_end_ = end;
}

FrameSequence::Step FrameSequence::found(ac3::frame_kind kind, uint64_t start, uint64_t claimed_end) {
  Step step;
  if (kind == ac3::frame_kind::no_sync || kind == ac3::frame_kind::bad_header) return step;
  if (holding_ && start < held_end_) {
    if (kind == ac3::frame_kind::crc_failed) return step;  // inside the held frame: passed over with it
    holding_ = false;                                      // a real frame inside it: the held one was false
  }
  if (holding_) {
    holding_ = false;
    if (start - held_end_ <= kInsertedBytesMax) {
      take(held_start_, held_end_);
      step.held_frame = true;
    }
  }
  if (kind == ac3::frame_kind::crc_failed) {
    holding_ = true;
    held_start_ = start;
    held_end_ = claimed_end;
    return step;
  }
  take(start, claimed_end);
  if (kind == ac3::frame_kind::eac3) {
    ++eac3_frames;
  } else {
    step.this_frame = true;
  }
  return step;
}

bool FrameSequence::finish(uint64_t real_end) {
  bool delivered = false;
  if (holding_) {
    holding_ = false;
    if (held_end_ >= real_end) {
      take(held_start_, real_end);
      delivered = true;
    }
  }
  if (real_end > taken_end_) {
    bytes_skipped += real_end - taken_end_;
    bytes_after_last += real_end - taken_end_;
    taken_end_ = real_end;
  }
  return delivered;
}

}  // namespace qelp

// CAc3Reader: the engine's side of the AC-3 decoder. It owns the input file and a decoder, feeds
// the decoder 2047-byte chunks through the fill callback, starts it afresh for every input, probes
// the sampling rate and turns each request for the next frame into a PCM frame or the report that
// the input has ended.
#pragma once

#include <cstdint>

#include "ac3/decoder.h"
#include "ac3/decoder_state.h"
#include "failure.h"
#include "file_input.h"

namespace qelp {

class CAc3Reader {
 public:
  // Failures are recorded in failure (the engine object's record).
  explicit CAc3Reader(Failure& failure);
  ~CAc3Reader();
  CAc3Reader(const CAc3Reader&) = delete;
  CAc3Reader& operator=(const CAc3Reader&) = delete;

  int32_t surround = 0;       // copied from the engine before every start
  int32_t sampling_rate = 0;  // learned from the probe frame (0 when it was bad)

  // Opens the input, resets the decoder (nothing of an earlier input reaches this one), decodes the
  // probe frame to learn the sampling rate and keeps its PCM for the first next_frame.
  // Returns 1, or 0 with the failure recorded when the file cannot be opened.
  int start(const char* path);

  // Delivers the next frame into dest (6144 bytes) and returns 6144, or fills dest with zeros and
  // returns 0 when the input has ended.
  int next_frame(uint8_t* dest);

  // The input file's current read offset (0 when no file is open).
  uint32_t read_position() const;

  // Closes the input if a file is open.
  void close_input();

  bool input_open() const;

  // The decoder, also lent to the header scan before a start.
  ac3::decoder& decoder() { return decoder_; }

 private:
  // The decoder has used up every real byte of the file: what is left is the zero padding.
  bool input_exhausted() const;
  // The frame just decoded began with a sync word inside the file's real bytes.
  bool frame_within_input() const;

  Failure& failure_;
  ac3::decoder decoder_;
  FileInput input_;
  // The probe frame's PCM, delivered by the first next_frame so that the stream's first frame is kept.
  uint8_t probe_pcm_[ac3::kPcmFrameBytes];
  bool probe_pending_ = false;
};

}  // namespace qelp

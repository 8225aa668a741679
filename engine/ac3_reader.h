// CAc3Reader: the engine's side of the AC-3 decoder. It owns the input (a file, or the standard
// input for the path "-", through the source that takes the AC-3 stream out of it) and a decoder, reads the input front to back once, feeds the decoder
// 2047-byte chunks through the fill callback, starts it afresh for every input, probes the
// sampling rate and turns each request for the next frame into a PCM frame or the report that the
// input has ended. It counts what it delivers: the frames, those that failed their checks and were
// muted, the bytes the frame search passed over and the samples the fold-down clipped.
#pragma once

#include <cstdint>
#include <memory>

#include "ac3/decoder.h"
#include "ac3/decoder_state.h"
#include "failure.h"
#include "file_input.h"
#include "frame_sequence.h"
#include "input_source.h"
#include "qelpsnd.h"

namespace qelp {

// The start-up check looks for AC-3 audio in the input's first bytes, at most this many. What it
// reads is kept in the reader's head, and the decoder takes it from there first, so that a pipe is
// read only once.
constexpr uint32_t kInputHeadBytes = 1u << 20;

class CAc3Reader {
 public:
  // Failures are recorded in failure (the engine object's record).
  explicit CAc3Reader(Failure& failure);
  ~CAc3Reader();
  CAc3Reader(const CAc3Reader&) = delete;
  CAc3Reader& operator=(const CAc3Reader&) = delete;

  int32_t surround = 0;  // copied from the engine before every start
  // The output's rate: given to start_decoding, or learned from the first decoded frame (0 until
  // then). Frames at another rate are delivered silent and counted, never at the wrong speed.
  int32_t sampling_rate = 0;

  // What was delivered since the last start: every frame, including the probe frame.
  uint32_t frames_delivered = 0;
  uint32_t frames_muted = 0;       // delivered as silence: failed their CRC or checks, or at
                                   // another rate
  uint32_t frames_other_rate = 0;  // of those, the frames at another rate than sampling_rate
  uint32_t frames_eac3 = 0;        // E-AC-3 frames passed over (not decoded, not delivered)
  int64_t first_muted_frame = -1;  // index of the first of them among the delivered, -1: none
  uint64_t bytes_skipped = 0;      // input bytes the frame search passed over
  uint64_t bytes_after_last = 0;   // of those, the ones behind the last frame (padding, a cut)
  uint64_t samples_clipped = 0;    // samples the fold-down limited to full scale

  // Opens the input ("-": a duplicate of the standard input) and finds the AC-3 stream chosen
  // (open_input_source), reading no more than it takes to tell what the file holds. Returns 1, or
  // 0 with the failure recorded when it cannot be opened or holds no stream qelp decodes.
  int open_input(const char* path, TrackChoice choice = {});

  // The start-up check on the input open_input opened: scans its first bytes (at most
  // kInputHeadBytes, there the scan sees the input's end) with the reader's decoder for a frame
  // that passes its CRC check, and keeps what it read for start_decoding. name stands for the
  // input in error_text. Returns what stream_scan returns.
  int check_head(const char* name, QelpsndStreamInfo& info, char* error_text, int error_size);

  // Resets the decoder (nothing of an earlier input reaches this one) and starts it on the input
  // open_input opened, from its first byte; decodes the probe frame (the first one delivered) and
  // keeps its PCM for the first next_frame. rate is the output's sampling rate, or 0 to take the
  // first decoded frame's. Starts the counts afresh. Returns 1.
  int start_decoding(int32_t rate = 0);

  // open_input and start_decoding in one: returns 1, or 0 with the failure recorded.
  int start(const char* path, TrackChoice choice = {});

  // Delivers the next frame into dest (6144 bytes) and returns 6144, or fills dest with zeros and
  // returns 0 when the input has ended. The input ends with its last byte and nothing else: the
  // frame search goes on over any length of bytes that are not AC-3 frames (and counts them).
  int next_frame(uint8_t* dest);

  // The input file's read position for the bytes handed to the decoder so far: for a raw stream
  // their count, for a container or burst file the share of the file they came from (0 when no
  // input is open).
  uint32_t read_position() const;
  // The same in 64 bits.
  uint64_t read_position64() const;

  // Closes the input if one is open.
  void close_input();

  bool input_open() const;

  // The decoder, also lent to the header scan before a start.
  ac3::decoder& decoder() { return decoder_; }

 private:
  // The decoder has used up every real byte of the input: what is left is the zero padding.
  bool input_exhausted() const;
  // Decodes until a frame is delivered into dest (the frame the sequence held back may come first,
  // the one after it is then held in held_pcm_). Returns 6144, or 0 when the input has ended.
  int produce(uint8_t* dest);
  // Counts one delivered frame and puts its PCM (nullptr: silence) into dest.
  void deliver(uint8_t* dest, const uint8_t* pcm, bool muted, uint32_t clipped);
  // The counts the frame sequence keeps, copied to the public ones.
  void take_sequence_counts();

  Failure& failure_;
  ac3::decoder decoder_;
  FileInput input_;
  FrameSequence sequence_;
  bool finished_ = false;            // the input has ended and the sequence is finished
  std::unique_ptr<InputSource> source_;
  std::unique_ptr<uint8_t[]> head_;  // kInputHeadBytes, made at the first open
  // The probe frame's PCM, delivered by the first next_frame so that the stream's first frame is kept.
  uint8_t probe_pcm_[ac3::kPcmFrameBytes];
  bool probe_pending_ = false;
  // The frame decoded behind a held-back damaged frame (which went out silent first), counted
  // already and delivered by the next call.
  uint8_t held_pcm_[ac3::kPcmFrameBytes];
  bool held_pending_ = false;
};

// True for the path that names the standard input or output: "-".
bool is_standard_stream(const char* path);

}  // namespace qelp

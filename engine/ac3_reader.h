// CAc3Reader: the engine's side of the AC-3 decoder. It owns the input (a file, or standard input
// for the path "-"), reads it front to back once, feeds the decoder 2047-byte chunks through the
// fill callback, starts the decoder, probes the sampling rate and turns each request for the next
// frame into a PCM frame or the report that the input has ended. It counts what it delivers: the
// frames, those that failed their checks and were muted, the bytes the frame search passed over
// and the samples the fold-down clipped.
#pragma once

#include <cstdint>
#include <cstdio>

namespace qelp {

constexpr int kInputChunkBytes = 2047;
constexpr int kMemoryInputBytes = 2048;
// The start-up check looks for AC-3 audio in the input's first bytes, at most this many. What it
// reads is kept in the head, and the decoder takes it from there first, so that a pipe is read
// only once.
constexpr uint32_t kInputHeadBytes = 1u << 20;

class CAc3Reader {
 public:
  CAc3Reader();
  ~CAc3Reader();

  int32_t surround = 0;        // copied from the engine before every start of the decoder
  int32_t sampling_rate = 0;   // learned from the probe frame

  // What was delivered since the last start: every frame, including the probe frame.
  uint32_t frames_delivered = 0;
  uint32_t frames_muted = 0;        // delivered as silence: failed their CRC or checks
  int64_t first_muted_frame = -1;   // index of the first of them among the delivered, -1: none
  uint64_t bytes_skipped = 0;       // input bytes the frame search passed over
  uint64_t bytes_after_last = 0;    // of those, the ones behind the last frame (padding, a cut)
  uint64_t samples_clipped = 0;     // samples the fold-down limited to full scale

  // Opens the input ("-": a duplicate of the standard input) without reading it. Returns 1, or 0
  // with the failure recorded when it cannot be opened.
  int open_input(const char* path);

  // Reads up to count bytes of the input ahead for the start-up check and keeps them in the head;
  // returns how many. The head ends after kInputHeadBytes: there the check sees the input's end.
  size_t read_ahead(uint8_t* into, size_t count);

  // Starts the decoder (once per engine object) on the input open_input opened, decodes the probe
  // frame to learn the sampling rate and keeps its PCM for the first next_frame, then restarts the
  // decoder. Returns 1.
  int start_decoding(uint8_t* memory_area);

  // open_input and start_decoding in one.
  int start(const char* path, uint8_t* memory_area);

  // Delivers the next frame into dest (6144 bytes) and returns 6144, or fills dest with zeros and
  // returns 0 when the input has ended.
  int next_frame(uint8_t* memory_area, int length, uint8_t* dest);

  // Bytes of the input handed to the decoder so far (0 when no input is open).
  uint32_t read_position() const;

  // Closes the input if one is open.
  void close_input();

  bool input_open() const;

 private:
  // Counts a frame the decoder produced from input starting at consumed_before, if it is delivered.
  bool take_frame(uint64_t consumed_before);
};

// The fill callbacks the decoder pulls its input through.
int file_fill_callback(uint8_t** start, uint8_t** end);
int memory_fill_callback(uint8_t** start, uint8_t** end);

// Library-wide reader state (one reader per process).
extern CAc3Reader* g_ac3_reader;
extern bool end_of_input;
extern bool decoder_ready;

// For tests: point memory_fill_callback at an area.
void memory_input_set(uint8_t* area, int length);

// True for the path that names the standard input or output: "-".
bool is_standard_stream(const char* path);

}  // namespace qelp

// CAc3Reader: the engine's side of the AC-3 decoder. It owns the input file, feeds the decoder
// 2047-byte chunks through the fill callback, starts the decoder, probes the sampling rate and turns
// each request for the next frame into a PCM frame or the report that the input has ended.
#pragma once

#include <cstdint>
#include <cstdio>

namespace qelp {

constexpr int kInputChunkBytes = 2047;
constexpr int kMemoryInputBytes = 2048;

class CAc3Reader {
 public:
  CAc3Reader();
  ~CAc3Reader();

  int32_t surround = 0;        // copied from the engine before every start of the decoder
  int32_t sampling_rate = 0;   // learned from the probe frame

  // Opens the input, starts the decoder (once per engine object), decodes the probe frame to learn
  // the sampling rate and keeps its PCM for the first next_frame, then restarts the decoder.
  // Returns 1, or 0 with the failure recorded when the file cannot be opened.
  int start(const char* path, uint8_t* memory_area);

  // Delivers the next frame into dest (6144 bytes) and returns 6144, or fills dest with zeros and
  // returns 0 when the input has ended.
  int next_frame(uint8_t* memory_area, int length, uint8_t* dest);

  // The input file's current read offset (0 when no file is open).
  uint32_t read_position() const;

  // Closes the input if a file is open.
  void close_input();

  bool input_open() const;
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

}  // namespace qelp

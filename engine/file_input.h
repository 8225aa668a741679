// A file read for the decoder a chunk at a time: the engine's one fill callback, used by the reader
// and by the header scan.
#pragma once

#include <cstdint>
#include <cstdio>

namespace qelp {

// Bytes handed to the decoder per fill call.
constexpr int kInputChunkBytes = 2047;

struct FileInput {
  std::FILE* file = nullptr;
  uint64_t real_bytes = 0;  // bytes read from the file so far: its read position
  bool ended = false;       // the file has no more bytes; the chunks are zero padding from here on
  uint8_t chunk[kInputChunkBytes];
};

// The decoder's fill callback over a FileInput (user). Reads the next chunk; a short read (the end
// of the file, or a read error) is padded with zeros and marks the end, so that the decoder always
// gets whole chunks. Returns 0.
int file_fill_callback(void* user, uint8_t** start, uint8_t** end);

}  // namespace qelp

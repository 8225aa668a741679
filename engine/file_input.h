// An input read for the decoder a chunk at a time: the engine's one fill callback, used by the
// reader and by the header scan. The bytes come from an InputSource: a raw stream, or the AC-3
// stream unwrapped from IEC 61937 bursts or demuxed from a container. The input is read once, front to back, so it may be a pipe: what
// the start-up check reads ahead is kept in a head and handed to the decoder again before the rest.
#pragma once

#include <cstdint>

#include "input_source.h"

namespace qelp {

// Bytes handed to the decoder per fill call.
constexpr int kInputChunkBytes = 2047;

struct FileInput {
  InputSource* source = nullptr;  // the AC-3 stream (not owned)
  uint64_t real_bytes = 0;  // bytes handed out so far (the head's included): the read position
  bool ended = false;       // the input has no more bytes; the chunks are zero padding from here on

  // The head: head_capacity bytes that its owner provides (none: nullptr, 0). While keep_head is
  // set, every byte read from the file is also kept there, and a full head is the input's end;
  // afterwards the kept bytes are handed out first (head_served counts them), then the file's.
  uint8_t* head = nullptr;
  uint32_t head_capacity = 0;
  uint32_t head_size = 0;    // bytes kept
  uint32_t head_served = 0;  // bytes of the head handed out
  bool keep_head = false;

  uint8_t chunk[kInputChunkBytes];
};

// The decoder's fill callback over a FileInput (user). Hands out the next chunk: the head's bytes,
// then the source's; a short read (the end of the input, a full head while keeping it, or a read
// error) is padded with zeros and marks the end, so that the decoder always gets whole chunks.
// Returns 0.
int file_fill_callback(void* user, uint8_t** start, uint8_t** end);

// Starts handing the input out again from its first byte: the head's bytes first, then the file
// from where the keeping stopped. Ends the keeping.
void file_input_replay_head(FileInput& in);

}  // namespace qelp

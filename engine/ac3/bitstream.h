// The decoder's input: chunks from the fill callback, the frame buffer, and the bit reader over it.
#pragma once

#include <cstdint>

#include "ac3/decoder_state.h"

namespace ac3 {

// Hands the fill callback and its user pointer to the reader (decoder_init does it from the config).
void bitstream_set_callback(decoder& d, fill_callback fill, void* user);

// The byte at the read position of the current chunk; asks for the next chunk when it is used up.
uint8_t chunk_next_byte(decoder& d);

// Drops the rest of the current chunk: the next byte comes from a new chunk.
void chunk_discard(decoder& d);

// Copies the next n bytes of input into the frame buffer and starts reading bits at its start.
void frame_bytes_load(decoder& d, int n);
// The same when the frame buffer's first `first` bytes were put there by the caller: the input's
// next n - first bytes follow them.
void frame_bytes_load_after(decoder& d, int first, int n);

// Makes the input read head_bytes of head, then body_bytes of body (a failed frame's bytes after
// its sync word, at most kFrameBufferBytes + 8 in all) before it goes on where it stood, and takes
// them off the count of bytes consumed: the next search starts again right after the sync word.
void input_replay(decoder& d, const uint8_t* head, int head_bytes, const uint8_t* body, int body_bytes);

// Input bytes taken from the chunks since the reset, for the owner's end-of-input test.
inline uint64_t input_bytes_consumed(const decoder& d) { return d.input.consumed; }

// Input bytes consumed up to the end of the last frame's sync word, or UINT64_MAX when the last
// search gave up without finding one. Lets the owner tell a frame in the input's real bytes from a
// search that ran into the zero padding behind its end.
inline uint64_t last_sync_end(const decoder& d) { return d.input.last_sync_end; }

// Loads the next 32-bit big-endian word of the frame buffer; past the frame's data it loads zeros.
// The buffer holds four zero bytes behind the data, so the last word never reads outside it.
inline void cursor_reload(bit_cursor& c) {
  if (c.next < c.data_end) {
    const uint8_t* p = c.next;
    c.word = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    c.next += 4;
  } else {
    c.word = 0;
    ++c.words_past_end;
  }
}

// Next n bits (1..32) at the cursor, most significant first. Bits past the frame's end read as zero.
inline uint32_t cursor_take(bit_cursor& c, int n) {
  if (n < c.bits_left) {
    c.bits_left -= n;
    return (c.word >> c.bits_left) & ((1u << n) - 1u);
  }
  const int have = c.bits_left;
  uint32_t result = have == 0 ? 0u : (have == 32 ? c.word : c.word & ((1u << have) - 1u));
  const int m = n - have;
  cursor_reload(c);
  if (m > 0) result = (m == 32 ? 0u : result << m) | (c.word >> (32 - m));
  c.bits_left = 32 - m;
  return result;
}

// Next n bits (1..32) of the frame.
inline uint32_t bits_take(decoder& d, int n) { return cursor_take(d.bits, n); }

// Bits of the frame body consumed so far, counted from the byte after fscod/frmsizecod; reads past
// the frame's end count too.
inline int bits_position(const decoder& d) {
  const bit_reader& r = d.bits;
  return (static_cast<int>(r.next - r.frame_buffer) + 4 * r.words_past_end) * 8 - r.bits_left;
}

// Moves the read position to bit pos of the frame body (pos >= 0), as if bits had been taken up to it.
void bits_seek(decoder& d, int pos);

// The frame body as loaded, and its length in bytes.
inline const uint8_t* frame_bytes(const decoder& d) { return d.bits.frame_buffer; }
inline int frame_bytes_count(const decoder& d) { return d.bits.data_bytes; }

}  // namespace ac3

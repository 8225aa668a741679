// The decoder's input: chunks from the fill callback, the frame buffer, and the bit reader over it.
#pragma once

#include <cstdint>

#include "ac3/decoder.h"

namespace ac3 {

// The largest frame is 1920 words; the buffer holds it without its first five bytes, plus room
// for the reader's last whole word.
constexpr int kFrameBufferBytes = 3840;
// Zero bytes behind the largest frame, so that readers may load whole words (and the mantissa loop
// eight bytes at a time, up to one channel's worth of bits) past the data without a bounds check.
constexpr int kFrameBufferSlack = 528;

// The read position. Hot loops copy it into a local variable, so that it stays in registers, and
// store it back when they are done.
struct bit_cursor {
  uint32_t word;           // current word, the stream's first byte most significant
  int bits_left;           // unread low-order bits of word (0..32)
  const uint8_t* next;     // next word to load from frame_buffer
  const uint8_t* data_end; // one past the frame's data in frame_buffer
  int words_past_end;      // zero words handed out after the frame's data, for bits_position
};

struct bit_reader : bit_cursor {
  uint8_t frame_buffer[kFrameBufferBytes + kFrameBufferSlack];  // zero behind the data
};

extern bit_reader g_bits;

// Hands the fill callback to the reader; bitstream_callback tells which one it has.
void bitstream_set_callback(fill_callback fill);
fill_callback bitstream_callback();

// The byte at the read position of the current chunk; asks for the next chunk when it is used up.
uint8_t chunk_next_byte();

// Drops the rest of the current chunk: the next byte comes from a new chunk.
void chunk_discard();

// Copies the next n bytes of input into the frame buffer and starts reading bits at its start.
void frame_bytes_load(int n);

// Input bytes taken from the chunks since load, for the engine's end-of-input test.
uint64_t input_bytes_consumed();

// Input bytes consumed up to the end of the last frame's sync word, or UINT64_MAX when the last
// search gave up without finding one. Lets the engine tell a frame in the file's real bytes from a
// search that ran into the zero padding behind its end.
uint64_t last_sync_end();
void last_sync_end_set(uint64_t consumed);

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
inline uint32_t bits_take(int n) { return cursor_take(g_bits, n); }

// Bits of the frame body consumed so far, counted from the byte after fscod/frmsizecod; reads past
// the frame's end count too.
inline int bits_position() {
  return (static_cast<int>(g_bits.next - g_bits.frame_buffer) + 4 * g_bits.words_past_end) * 8 -
         g_bits.bits_left;
}

// Moves the read position to bit pos of the frame body (pos >= 0), as if bits had been taken up to it.
void bits_seek(int pos);

// The frame body as loaded, and its length in bytes.
inline const uint8_t* frame_bytes() { return g_bits.frame_buffer; }
int frame_bytes_count();

}  // namespace ac3

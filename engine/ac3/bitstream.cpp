#include "ac3/bitstream.h"

#include <cstring>

#include "diagnostics.h"

namespace ac3 {

namespace {

// The next chunk: the rest of the chunk a replay interrupted, else a new one from the callback.
void next_chunk(chunk_input& in) {
  if (in.replaying) {
    in.replaying = false;
    in.pos = in.saved_pos;
    in.end = in.saved_end;
    if (in.pos != in.end) return;
  }
  in.fill(in.fill_user, &in.pos, &in.end);
}

}  // namespace

void bitstream_set_callback(decoder& d, fill_callback fill, void* user) {
  d.input.fill = fill;
  d.input.fill_user = user;
}

uint8_t chunk_next_byte(decoder& d) {
  chunk_input& in = d.input;
  if (in.pos == in.end) next_chunk(in);
  ++in.consumed;
  return *in.pos++;
}

void chunk_discard(decoder& d) {
  chunk_input& in = d.input;
  in.replaying = false;
  in.pos = in.end = in.saved_pos = in.saved_end = nullptr;
}

void input_replay(decoder& d, const uint8_t* head, int head_bytes, const uint8_t* body, int body_bytes) {
  chunk_input& in = d.input;
  const int n = head_bytes + body_bytes;
  int remaining = 0;
  if (in.replaying) {
    // Still inside an earlier replay: its unread bytes follow this frame's. They and this frame's
    // bytes were all one replay's once, so together they fit (see kReplayBytes).
    remaining = static_cast<int>(in.end - in.pos);
    if (n + remaining > kReplayBytes)
      remaining = kReplayBytes - n;  // cannot happen; keeps the store in bounds
    std::memmove(in.replay + n, in.pos, static_cast<size_t>(remaining));
  } else {
    in.saved_pos = in.pos;
    in.saved_end = in.end;
    in.replaying = true;
  }
  std::memcpy(in.replay, head, static_cast<size_t>(head_bytes));
  std::memcpy(in.replay + head_bytes, body, static_cast<size_t>(body_bytes));
  in.pos = in.replay;
  in.end = in.replay + n + remaining;
  in.consumed -= static_cast<uint64_t>(n);
}

void frame_bytes_load(decoder& d, int n) { frame_bytes_load_after(d, 0, n); }

void frame_bytes_load_after(decoder& d, int first, int n) {
  chunk_input& in = d.input;
  bit_reader& r = d.bits;
  if (first < 0) first = 0;
  if (first > kFrameBufferBytes) first = kFrameBufferBytes;
  if (n < first) n = first;
  if (n > kFrameBufferBytes) n = kFrameBufferBytes;
  int copied = first;
  while (copied < n) {
    if (in.pos > in.end) {
      qelp::diag_out("argh!\n");
      in.pos = in.end;
    }
    if (in.pos == in.end) next_chunk(in);
    int piece = static_cast<int>(in.end - in.pos);
    if (piece > n - copied) piece = n - copied;
    std::memcpy(r.frame_buffer + copied, in.pos, static_cast<size_t>(piece));
    in.pos += piece;
    copied += piece;
  }
  in.consumed += static_cast<uint64_t>(n - first);
  // Zeros behind the data: the last partial word and loads past the end read as zero bits.
  if (r.bytes_dirty > n) std::memset(r.frame_buffer + n, 0, static_cast<size_t>(r.bytes_dirty - n));
  r.bytes_dirty = n;
  r.data_bytes = n;
  r.next = r.frame_buffer;
  r.data_end = r.frame_buffer + n;
  r.bits_left = 0;
  r.word = 0;
  r.words_past_end = 0;
}

void bits_seek(decoder& d, int pos) {
  bit_reader& r = d.bits;
  if (pos < 0) pos = 0;
  // The reader loads whole words: after pos bits it has loaded ceil(pos / 32) of them, those past
  // the data as zero words.
  const int loaded = pos / 32 + (pos % 32 != 0 ? 1 : 0);
  const int data_words = (r.data_bytes + 3) / 4;
  const int from_data = loaded < data_words ? loaded : data_words;
  r.next = r.frame_buffer + 4 * from_data;
  r.words_past_end = loaded - from_data;
  r.word = 0;
  if (loaded > 0 && loaded <= data_words) {
    const uint8_t* p = r.frame_buffer + 4 * (loaded - 1);
    r.word = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  }
  r.bits_left = 32 * loaded - pos;
}

}  // namespace ac3

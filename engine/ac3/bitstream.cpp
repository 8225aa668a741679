#include "ac3/bitstream.h"

#include <cstring>

#include "diagnostics.h"

namespace ac3 {

bit_reader g_bits;

namespace {

fill_callback g_fill = nullptr;
uint8_t* g_chunk_pos = nullptr;
uint8_t* g_chunk_end = nullptr;
uint64_t g_consumed = 0;
int g_frame_count = 0;
int g_bytes_dirty = 0;  // bytes at the frame buffer's start that may be non-zero

void next_chunk() {
  g_fill(&g_chunk_pos, &g_chunk_end);
}

}  // namespace

void bitstream_set_callback(fill_callback fill) { g_fill = fill; }

fill_callback bitstream_callback() { return g_fill; }

uint8_t chunk_next_byte() {
  if (g_chunk_pos == g_chunk_end) next_chunk();
  ++g_consumed;
  return *g_chunk_pos++;
}

void chunk_discard() { g_chunk_pos = g_chunk_end; }

void frame_bytes_load(int n) {
  if (n < 0) n = 0;
  if (n > kFrameBufferBytes) n = kFrameBufferBytes;
  int copied = 0;
  while (copied < n) {
    if (g_chunk_pos > g_chunk_end) {
      qelp::diag_out("argh!\n");
      g_chunk_pos = g_chunk_end;
    }
    if (g_chunk_pos == g_chunk_end) next_chunk();
    int piece = static_cast<int>(g_chunk_end - g_chunk_pos);
    if (piece > n - copied) piece = n - copied;
    std::memcpy(g_bits.frame_buffer + copied, g_chunk_pos, static_cast<size_t>(piece));
    g_chunk_pos += piece;
    copied += piece;
  }
  g_consumed += static_cast<uint64_t>(n);
  // Zeros behind the data: the last partial word and loads past the end read as zero bits.
  if (g_bytes_dirty > n) std::memset(g_bits.frame_buffer + n, 0, static_cast<size_t>(g_bytes_dirty - n));
  g_bytes_dirty = n;
  g_frame_count = n;
  g_bits.next = g_bits.frame_buffer;
  g_bits.data_end = g_bits.frame_buffer + n;
  g_bits.bits_left = 0;
  g_bits.word = 0;
  g_bits.words_past_end = 0;
}

int frame_bytes_count() { return g_frame_count; }

void bits_seek(int pos) {
  if (pos < 0) pos = 0;
  // The reader loads whole words: after pos bits it has loaded ceil(pos / 32) of them, those past
  // the data as zero words.
  const int loaded = pos / 32 + (pos % 32 != 0 ? 1 : 0);
  const int data_words = (g_frame_count + 3) / 4;
  const int from_data = loaded < data_words ? loaded : data_words;
  g_bits.next = g_bits.frame_buffer + 4 * from_data;
  g_bits.words_past_end = loaded - from_data;
  g_bits.word = 0;
  if (loaded > 0 && loaded <= data_words) {
    const uint8_t* p = g_bits.frame_buffer + 4 * (loaded - 1);
    g_bits.word = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  }
  g_bits.bits_left = 32 * loaded - pos;
}

uint64_t input_bytes_consumed() { return g_consumed; }

namespace {
uint64_t g_last_sync_end = UINT64_MAX;
}  // namespace

uint64_t last_sync_end() { return g_last_sync_end; }
void last_sync_end_set(uint64_t consumed) { g_last_sync_end = consumed; }

}  // namespace ac3

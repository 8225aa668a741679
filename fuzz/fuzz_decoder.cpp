// The decoder fed an arbitrary byte stream through its fill callback, frame after frame, in chunks
// of a size the input chooses. Every frame must come back as a full PCM frame; nothing else may
// happen (sanitizers watch the stores).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "ac3/bitstream.h"
#include "ac3/decoder.h"
#include "ac3/decoder_state.h"
#include "qelpsnd.h"

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0;
size_t g_pos = 0;
size_t g_chunk = 2047;
uint8_t g_buffer[2047];

int fill(void*, uint8_t** start, uint8_t** end) {
  size_t n = g_size - g_pos < g_chunk ? g_size - g_pos : g_chunk;
  std::memset(g_buffer, 0, sizeof g_buffer);
  if (n > 0) std::memcpy(g_buffer, g_data + g_pos, n);
  g_pos += n;
  *start = g_buffer;
  *end = g_buffer + (n > 0 ? n : sizeof g_buffer);
  return 0;
}

void discard(int, const char*, void*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  qelpsnd_set_diagnostics(discard, nullptr);
  g_chunk = 1 + (data[0] % 2047);
  g_data = data + 2;
  g_size = size - 2;
  g_pos = 0;
  // A fresh decoder per input, as the engine has per conversion.
  static const std::unique_ptr<ac3::decoder> decoder(new ac3::decoder);
  ac3::decoder& d = *decoder;
  ac3::decoder_reset(d);
  ac3::decoder_config config{0, fill, 2, static_cast<uint16_t>((data[1] >> 1) & 1), nullptr};
  ac3::decoder_init(d, config);
  d.surround_mode = data[1] & 1;
  // Each call consumes at least two bytes (a failed frame's sync word), so this ends; the bound keeps
  // a run short.
  for (int frame = 0; frame < 16 && ac3::input_bytes_consumed(d) < g_size; ++frame) {
    ac3::decoded_frame* f = ac3::decode_one_frame(d);
    if (f == nullptr || f->pcm == nullptr) __builtin_trap();
  }
  return 0;
}

#include "support/ac3_decoder_feed.h"

#include <algorithm>
#include <cstring>

#include "ac3/bitstream.h"
#include "ac3/decoder.h"
#include "qelpsnd.h"

namespace ac3test {

namespace {

std::vector<uint8_t> g_input;
size_t g_position = 0;
size_t g_chunk_size = 1000;
std::vector<uint8_t> g_chunk;

int fill(uint8_t** start, uint8_t** end) {
  size_t n = g_chunk_size;
  g_chunk.assign(g_chunk_size, 0);
  if (g_position < g_input.size()) {
    n = std::min(g_chunk_size, g_input.size() - g_position);
    std::memcpy(g_chunk.data(), g_input.data() + g_position, n);
    g_position += n;
  }
  *start = g_chunk.data();
  *end = g_chunk.data() + n;
  return 1;
}

void sink(int stream, const char* text, void* user) {
  auto* capture = static_cast<diagnostics_capture*>(user);
  (stream == 1 ? capture->out : capture->err) += text;
}

}  // namespace

void decoder_feed(const std::vector<uint8_t>& bytes, size_t chunk_size) {
  g_input = bytes;
  g_position = 0;
  g_chunk_size = chunk_size == 0 ? 1 : chunk_size;
  ac3::decoder_config config{};
  config.fill = fill;
  config.output_channels = 2;
  ac3::decoder_init(config);
  ac3::chunk_discard();
}

diagnostics_capture::diagnostics_capture() { qelpsnd_set_diagnostics(sink, this); }
diagnostics_capture::~diagnostics_capture() { qelpsnd_set_diagnostics(nullptr, nullptr); }

int diagnostics_capture::count_err(const std::string& text) const {
  int n = 0;
  for (size_t at = err.find(text); at != std::string::npos; at = err.find(text, at + text.size())) ++n;
  return n;
}

}  // namespace ac3test

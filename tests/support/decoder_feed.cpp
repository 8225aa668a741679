#include "support/decoder_feed.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "ac3/bitstream.h"
#include "qelpsnd.h"

namespace decoder_test {

namespace {

constexpr size_t kChunk = 2047;

int fill(void* user, uint8_t** start, uint8_t** end) {
  auto& f = *static_cast<test_decoder::feed*>(user);
  size_t n = kChunk;
  if (f.position < f.input.size()) {
    n = std::min(kChunk, f.input.size() - f.position);
    std::memcpy(f.chunk, f.input.data() + f.position, n);
    f.position += n;
  } else {
    std::memset(f.chunk, 0, kChunk);
  }
  *start = f.chunk;
  *end = f.chunk + n;
  return 1;
}

void sink(int stream, const char* text, void* user) {
  auto* capture = static_cast<diagnostics_capture*>(user);
  (stream == 1 ? capture->out : capture->err) += text;
}

}  // namespace

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

test_decoder::test_decoder() : decoder_(new ac3::decoder), feed_(new feed) { ac3::decoder_reset(*decoder_); }

test_decoder::~test_decoder() = default;

void feed_bytes(test_decoder& d, const std::vector<uint8_t>& bytes) {
  d.feed_->input = bytes;
  d.feed_->position = 0;
  ac3::bitstream_set_callback(d, fill, d.feed_.get());
  ac3::chunk_discard(d);
}

void load_frame_body(test_decoder& d, const std::vector<uint8_t>& bytes) {
  feed_bytes(d, bytes);
  ac3::frame_bytes_load(d, static_cast<int>(bytes.size()));
}

void bit_writer::put(uint32_t value, int bits) {
  for (int i = bits - 1; i >= 0; --i) bits_.push_back(((value >> i) & 1u) != 0);
}

std::vector<uint8_t> bit_writer::bytes() const {
  std::vector<uint8_t> out((bits_.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits_.size(); ++i) {
    if (bits_[i]) out[i / 8] = static_cast<uint8_t>(out[i / 8] | (0x80u >> (i % 8)));
  }
  return out;
}

diagnostics_capture::diagnostics_capture() { qelpsnd_set_diagnostics(sink, this); }
diagnostics_capture::~diagnostics_capture() { qelpsnd_set_diagnostics(nullptr, nullptr); }

int diagnostics_capture::count_err(const std::string& text) const {
  int n = 0;
  for (size_t at = err.find(text); at != std::string::npos; at = err.find(text, at + text.size())) ++n;
  return n;
}

}  // namespace decoder_test

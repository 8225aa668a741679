// Small WAVE files for the normalizer tests, built byte by byte so that every header variant the
// normalizer meets (fmt chunks of 16 or 18 bytes, fact and LIST chunks, wrong sizes) can be made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace normalizer_test {

using Bytes = std::vector<unsigned char>;

struct WavLayout {
  uint16_t format_tag = 1;
  uint16_t channels = 2;
  uint32_t rate = 48000;
  uint16_t bits = 16;
  uint32_t fmt_size = 18;           // 16 or more; bytes beyond 16 are zeros
  bool fact = false;                // a 4-byte fact chunk before the data chunk
  bool list_before_data = false;    // a LIST chunk between fmt (or fact) and data
  Bytes trailer;                    // bytes after the data chunk (another chunk, say)
  int64_t stated_data_size = -1;    // the data chunk's size field; -1: the real size
};

Bytes wav_bytes(const Bytes& data, const WavLayout& layout = {});
Bytes pcm16(const std::vector<int16_t>& samples);
std::vector<int16_t> samples16(const Bytes& data);

void write_file(const std::string& path, const Bytes& bytes);
Bytes read_file(const std::string& path);

// Offset of the first data byte in a file made by wav_bytes with this layout.
size_t data_offset(const WavLayout& layout);

}  // namespace normalizer_test

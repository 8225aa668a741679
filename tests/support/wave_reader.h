// Reads a WAVE file the way a player would: RIFF header, fmt chunk, data chunk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qelp_test {

struct WaveFile {
  bool ok = false;
  std::string error;
  uint32_t riff_size = 0;
  uint32_t fmt_size = 0;
  uint16_t format_tag = 0;
  uint16_t channels = 0;
  uint32_t sample_rate = 0;
  uint32_t avg_bytes_per_sec = 0;
  uint16_t block_align = 0;
  uint16_t bits_per_sample = 0;
  uint16_t extra_size = 0;
  std::vector<uint8_t> extra;
  uint32_t data_offset = 0;      // where the data chunk's bytes begin
  uint32_t data_size = 0;        // as the header says
  uint64_t file_size = 0;
  std::vector<uint8_t> data;     // the data bytes present in the file (up to data_size)

  // 16-bit samples of the data (little-endian).
  std::vector<int16_t> samples16() const;
};

WaveFile read_wave(const std::string& path);

std::vector<uint8_t> read_bytes(const std::string& path);
void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace qelp_test

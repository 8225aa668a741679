#include "support/wave_reader.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace qelp_test {

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24); }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

std::vector<uint8_t> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<int16_t> WaveFile::samples16() const {
  std::vector<int16_t> s(data.size() / 2);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(le16(&data[2 * i]));
  return s;
}

WaveFile read_wave(const std::string& path) {
  WaveFile w;
  std::vector<uint8_t> b = read_bytes(path);
  w.file_size = b.size();
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) {
    w.error = "not a RIFF WAVE file";
    return w;
  }
  w.riff_size = le32(&b[4]);
  size_t pos = 12;
  bool have_fmt = false;
  while (pos + 8 <= b.size()) {
    uint32_t size = le32(&b[pos + 4]);
    const uint8_t* body = &b[pos + 8];
    if (std::memcmp(&b[pos], "fmt ", 4) == 0) {
      if (size < 16 || pos + 8 + size > b.size()) {
        w.error = "bad fmt chunk";
        return w;
      }
      w.fmt_size = size;
      w.format_tag = le16(body);
      w.channels = le16(body + 2);
      w.sample_rate = le32(body + 4);
      w.avg_bytes_per_sec = le32(body + 8);
      w.block_align = le16(body + 12);
      w.bits_per_sample = le16(body + 14);
      if (size >= 18) {
        w.extra_size = le16(body + 16);
        w.extra.assign(body + 18, body + 18 + std::min<size_t>(w.extra_size, size - 18));
      }
      have_fmt = true;
    } else if (std::memcmp(&b[pos], "data", 4) == 0) {
      w.data_offset = static_cast<uint32_t>(pos + 8);
      w.data_size = size;
      size_t present = std::min<size_t>(size, b.size() - (pos + 8));
      w.data.assign(body, body + present);
      w.ok = have_fmt;
      if (!have_fmt) w.error = "data before fmt";
      return w;
    }
    pos += 8 + size + (size & 1);
  }
  w.error = "no data chunk";
  return w;
}

}  // namespace qelp_test

#include "wav_fixture.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace normalizer_test {

namespace {

void put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<unsigned char>(v));
  b.push_back(static_cast<unsigned char>(v >> 8));
}
void put_id(Bytes& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(id[i]));
}
void append(Bytes& b, const Bytes& more) {
  b.reserve(b.size() + more.size());
  for (unsigned char c : more) b.push_back(c);
}

}  // namespace

Bytes wav_bytes(const Bytes& data, const WavLayout& layout) {
  Bytes body;
  put_id(body, "WAVE");
  put_id(body, "fmt ");
  put32(body, layout.fmt_size);
  put16(body, layout.format_tag);
  put16(body, layout.channels);
  put32(body, layout.rate);
  put32(body, layout.rate * layout.channels * layout.bits / 8);
  put16(body, static_cast<uint16_t>(layout.channels * layout.bits / 8));
  put16(body, layout.bits);
  for (uint32_t i = 16; i < layout.fmt_size; ++i) body.push_back(0);
  if (layout.fact) {
    put_id(body, "fact");
    put32(body, 4);
    put32(body, static_cast<uint32_t>(data.size() / (layout.channels * layout.bits / 8)));
  }
  if (layout.list_before_data) {
    put_id(body, "LIST");
    put32(body, 4);
    put_id(body, "INFO");
  }
  put_id(body, "data");
  put32(body, layout.stated_data_size >= 0 ? static_cast<uint32_t>(layout.stated_data_size)
                                          : static_cast<uint32_t>(data.size()));
  append(body, data);
  append(body, layout.trailer);
  Bytes file;
  put_id(file, "RIFF");
  put32(file, static_cast<uint32_t>(body.size()));
  append(file, body);
  return file;
}

size_t data_offset(const WavLayout& layout) {
  return 12 + 8 + layout.fmt_size + (layout.fact ? 12 : 0) + (layout.list_before_data ? 12 : 0) + 8;
}

Bytes pcm16(const std::vector<int16_t>& samples) {
  Bytes b;
  for (int16_t s : samples) put16(b, static_cast<uint16_t>(s));
  return b;
}

std::vector<int16_t> samples16(const Bytes& data) {
  std::vector<int16_t> s;
  for (size_t i = 0; i + 1 < data.size(); i += 2) s.push_back(static_cast<int16_t>(data[i] | data[i + 1] << 8));
  return s;
}

void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace normalizer_test

// Placeholder writer until the codec manager is in place: 16-bit PCM written directly, with the
// same 46-byte header layout.
#include "output_wavefile.h"

#include <cerrno>
#include <cstring>

#include "failure.h"

namespace qelp {

COutputWavefile* g_output_wavefile = nullptr;

namespace {
OverwritePolicy g_policy = OverwritePolicy::ask;
bool g_open = false;

void put32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i)); }
void put16(uint8_t* p, uint16_t v) { p[0] = static_cast<uint8_t>(v); p[1] = static_cast<uint8_t>(v >> 8); }

void write_header(COutputWavefile& w) {
  uint8_t h[46] = {};
  std::memcpy(h, "RIFF", 4); put32(h + 4, 38 + w.total); std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 18); put16(h + 20, 1); put16(h + 22, w.format.channels);
  put32(h + 24, w.format.sampling_rate); put32(h + 28, w.format.sampling_rate * w.format.channels * 2u);
  put16(h + 32, static_cast<uint16_t>(w.format.channels * 2)); put16(h + 34, 16); put16(h + 36, 0);
  std::memcpy(h + 38, "data", 4); put32(h + 42, w.total);
  std::fseek(w.file, 0, SEEK_SET);
  std::fwrite(h, 1, sizeof h, w.file);
}
}  // namespace

int COutputWavefile::set_path(const char* p) {
  size_t n = strnlen(p, sizeof path);
  if (n >= sizeof path) return 0;
  std::memcpy(path, p, n + 1);
  return 1;
}

void output_wavefile_set_overwrite_policy(OverwritePolicy policy) { g_policy = policy; }

int output_wavefile_open() {
  COutputWavefile& w = *g_output_wavefile;
  w.total = 0;
  if (g_policy != OverwritePolicy::always) {
    if (std::FILE* f = std::fopen(w.path, "rb")) {
      std::fclose(f);
      failure_set(QELP_ERR_EXISTS, "%s already exists", w.path);
      return 0;
    }
  }
  w.file = std::fopen(w.path, "wb");
  if (w.file == nullptr) {
    failure_set(QELP_ERR_OUTPUT, "Could not create %s: %s", w.path, std::strerror(errno));
    return 0;
  }
  uint8_t zeros[46] = {};
  std::fwrite(zeros, 1, sizeof zeros, w.file);
  g_open = true;
  return 1;
}

int output_wavefile_write(const uint8_t* frame) {
  COutputWavefile& w = *g_output_wavefile;
  if (std::fwrite(frame, 1, w.format.bytes_per_frame, w.file) != w.format.bytes_per_frame) {
    failure_set(QELP_ERR_OUTPUT, "Could not write %s", w.path);
    return 0;
  }
  w.total += w.format.bytes_per_frame;
  return 1;
}

int output_wavefile_close() {
  COutputWavefile& w = *g_output_wavefile;
  write_header(w);
  std::fclose(w.file);
  w.file = nullptr;
  g_open = false;
  return 1;
}

bool output_wavefile_is_open() { return g_open; }

}  // namespace qelp

// decode_only: runs the AC-3 decoder over a file, 2047-byte chunks at a time as the engine feeds
// it, and optionally writes the raw 16-bit stereo PCM. For timing and profiling the decoder alone.
//   decode_only [--surround] [--repeat N] IN.ac3 [OUT.pcm]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ac3/bitstream.h"
#include "ac3/decoder.h"
#include "qelpsnd.h"

namespace {

constexpr int kChunkBytes = 2047;
std::FILE* g_in = nullptr;
uint8_t g_chunk[kChunkBytes];
uint64_t g_real_bytes = 0;
bool g_end = false;

int fill(uint8_t** start, uint8_t** end) {
  const size_t n = g_in != nullptr ? std::fread(g_chunk, 1, kChunkBytes, g_in) : 0;
  g_real_bytes += n;
  if (n < static_cast<size_t>(kChunkBytes)) {
    std::memset(g_chunk + n, 0, kChunkBytes - n);
    g_end = true;
  }
  *start = g_chunk;
  *end = g_chunk + kChunkBytes;
  return 0;
}

void to_stderr(int, const char* line, void*) { std::fputs(line, stderr); }

}  // namespace

int main(int argc, char** argv) {
  bool surround = false;
  int repeat = 1;
  const char* in_path = nullptr;
  const char* out_path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--surround") == 0) {
      surround = true;
    } else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::atoi(argv[++i]);
    } else if (in_path == nullptr) {
      in_path = argv[i];
    } else {
      out_path = argv[i];
    }
  }
  if (in_path == nullptr || repeat < 1) {
    std::fprintf(stderr, "usage: decode_only [--surround] [--repeat N] IN.ac3 [OUT.pcm]\n");
    return 2;
  }
  qelpsnd_set_diagnostics(to_stderr, nullptr);

  std::FILE* out = nullptr;
  if (out_path != nullptr && (out = std::fopen(out_path, "wb")) == nullptr) {
    std::fprintf(stderr, "decode_only: cannot create %s\n", out_path);
    return 1;
  }

  long frames = 0;
  const auto begin = std::chrono::steady_clock::now();
  for (int pass = 0; pass < repeat; ++pass) {
    g_in = std::fopen(in_path, "rb");
    if (g_in == nullptr) {
      std::fprintf(stderr, "decode_only: cannot open %s\n", in_path);
      return 1;
    }
    g_end = false;
    ac3::chunk_discard();
    g_real_bytes = ac3::input_bytes_consumed();
    ac3::surround_mode = surround ? 1 : 0;
    ac3::decoder_config config{0, fill, 2, 0};
    ac3::decoder_init(config);
    while (!(g_end && ac3::input_bytes_consumed() >= g_real_bytes)) {
      const ac3::decoded_frame* frame = ac3::decode_one_frame();
      if (ac3::last_sync_end() > g_real_bytes) break;  // ran into the padding behind the file
      ++frames;
      if (out != nullptr) std::fwrite(frame->pcm, 1, ac3::kPcmFrameBytes, out);
    }
    std::fclose(g_in);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  if (out != nullptr) std::fclose(out);
  std::fprintf(stderr, "decode_only: %ld frames in %.3f s (%.1f frames/s)\n", frames, seconds,
               seconds > 0 ? static_cast<double>(frames) / seconds : 0.0);
  return 0;
}

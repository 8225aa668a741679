// decode_only: runs the AC-3 decoder over a file, 2047-byte chunks at a time as the engine feeds
// it, and optionally writes the raw 16-bit stereo PCM. For timing and profiling the decoder alone.
//   decode_only [--surround] [--repeat N] IN.ac3 [OUT.pcm]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ac3/bitstream.h"
#include "ac3/decoder.h"
#include "ac3/decoder_state.h"
#include "file_input.h"
#include "input_source.h"
#include "qelpsnd.h"

namespace {

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
  auto decoder = std::make_unique<ac3::decoder>();
  qelp::FileInput input;
  const auto begin = std::chrono::steady_clock::now();
  for (int pass = 0; pass < repeat; ++pass) {
    std::FILE* file = std::fopen(in_path, "rb");
    if (file == nullptr) {
      std::fprintf(stderr, "decode_only: cannot open %s\n", in_path);
      return 1;
    }
    qelp::RawFileSource source(file);  // closes the file
    input.source = &source;
    input.real_bytes = 0;
    input.ended = false;
    // As the engine does for every conversion: a fresh decoder fed through the engine's callback.
    ac3::decoder& d = *decoder;
    ac3::decoder_reset(d);
    ac3::decoder_config config{0, qelp::file_fill_callback, 2, 0, &input};
    ac3::decoder_init(d, config);
    d.surround_mode = surround ? 1 : 0;
    while (!(input.ended && ac3::input_bytes_consumed(d) >= input.real_bytes)) {
      const ac3::decoded_frame* frame = ac3::decode_one_frame(d);
      if (ac3::last_sync_end(d) > input.real_bytes) break;  // ran into the padding behind the file
      ++frames;
      if (out != nullptr) std::fwrite(frame->pcm, 1, ac3::kPcmFrameBytes, out);
    }
    input.source = nullptr;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  if (out != nullptr) std::fclose(out);
  std::fprintf(stderr, "decode_only: %ld frames in %.3f s (%.1f frames/s)\n", frames, seconds,
               seconds > 0 ? static_cast<double>(frames) / seconds : 0.0);
  return 0;
}

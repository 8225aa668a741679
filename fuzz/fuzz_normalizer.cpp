// The normalizer on a WAVE file made from the input: the header parser, then both passes (or the
// fixed gain) run to the end in place. Whatever the bytes, it must end with an exit code and leave
// a file of the same length.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "normalize_thread.h"
#include "qelpsnd.h"

namespace {

void discard(int, const char*, void*) {}
void no_progress(void*, int, int, int) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  qelpsnd_set_diagnostics(discard, nullptr);
  static const std::string path = "/tmp/qelp-fuzz-normalizer-" + std::to_string(getpid()) + ".wav";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  // The first byte picks peak normalization (0) or a fixed gain of 1 to 50 dB.
  const int amplify = data[0] % 51;
  const std::string amplify_text = std::to_string(amplify);
  qelp::NormRun run;
  run.path = path.c_str();
  run.amplify = amplify_text.c_str();
  run.progress = no_progress;
  const int code = qelp::NormalizeThread(run);
  if (code < 0 || code > 4) __builtin_trap();
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || static_cast<size_t>(st.st_size) != size - 1) __builtin_trap();
  return 0;
}

// The WAVE writer with a chosen format made from the input (as a codec chooser might return it):
// open, a few frames, close. A format the codec manager refuses must fail cleanly and leave no
// file; one it takes must end in a header whose sizes agree with the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "output_wavefile.h"
#include "platform/msacm/msacm.h"
#include "qelpsnd.h"

namespace {

const uint8_t* g_format = nullptr;
size_t g_format_size = 0;

MMRESULT fuzzed_chooser(ACMFORMATCHOOSEA* afc, const AcmFormatOffer*, size_t, void*) {
  std::memset(afc->pwfx, 0, afc->cbwfx);
  std::memcpy(afc->pwfx, g_format, g_format_size < afc->cbwfx ? g_format_size : afc->cbwfx);
  return MMSYSERR_NOERROR;
}

void discard(int, const char*, void*) {}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  qelpsnd_set_diagnostics(discard, nullptr);
  static qelp::FailureRecord failure;
  static qelp::COutputWavefile writer(failure.failure);
  static const std::string path = "/tmp/qelp-fuzz-writer-" + std::to_string(getpid()) + ".wav";
  std::remove(path.c_str());
  writer.set_path(path.c_str());
  const int frames = data[0] % 8;
  const uint32_t rates[4] = {48000, 44100, 32000, 8000};
  writer.format = {2, rates[data[1] % 4], 6144};
  g_format = data + 2;
  g_format_size = size - 2;
  acmSetFormatChooser(fuzzed_chooser, nullptr, 0);
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::always);

  if (!writer.open()) {
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
      std::fclose(f);
      __builtin_trap();  // a refused start leaves no file
    }
    return 0;
  }
  std::vector<uint8_t> frame(6144);
  for (int i = 0; i < frames; ++i) {
    for (size_t k = 0; k < frame.size(); ++k) frame[k] = static_cast<uint8_t>(k * 31 + i);
    if (!writer.write(frame.data())) break;
  }
  writer.close();

  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) __builtin_trap();
  std::vector<uint8_t> file;
  uint8_t buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) file.insert(file.end(), buffer, buffer + n);
  std::fclose(f);
  std::remove(path.c_str());
  if (file.size() < 46) __builtin_trap();
  const uint32_t fmt = le32(file, 16);
  const uint32_t c = file[36] | (file[37] << 8);
  if (fmt != 18 + c || file.size() < 46 + c) __builtin_trap();
  // Every format but PCM has a fact chunk (12 bytes) between the fmt and the data chunk.
  const bool pcm = (file[20] | (file[21] << 8)) == 1;
  const uint32_t fact = pcm ? 0 : 12;
  if (file.size() < 46 + c + fact) __builtin_trap();
  if (!pcm && (std::memcmp(file.data() + 38 + c, "fact", 4) != 0 || le32(file, 42 + c) != 4)) __builtin_trap();
  if (std::memcmp(file.data() + 38 + c + fact, "data", 4) != 0) __builtin_trap();
  const uint32_t data_size = le32(file, 42 + c + fact);
  if (le32(file, 4) != file.size() - 8 || 46 + c + fact + static_cast<uint64_t>(data_size) != file.size()) {
    __builtin_trap();
  }
  return 0;
}

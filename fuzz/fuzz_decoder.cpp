// The whole decoder on a few frames: decode_one_frame on a fresh decoder, twice, with the
// invariants of harness/decoder_run.h. Input: the stream, then one settings byte.
#include <cstdio>

#include "harness/decoder_run.h"
#include "qelpsnd.h"

namespace {

void discard(int, const char*, void*) {}
constexpr int kMaxFrames = 3;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qelpsnd_set_diagnostics(discard, nullptr);
  const fuzz_harness::fuzz_input input = fuzz_harness::split_input(data, size);
  if (const char* failed = fuzz_harness::run_decoder(input, fuzz_harness::stages::whole_frame, kMaxFrames)) {
    std::fprintf(stderr, "invariant broken: %s\n", failed);
    __builtin_trap();
  }
  return 0;
}

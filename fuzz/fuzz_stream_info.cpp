// The header scan behind `qelp info` over the fuzzer's bytes, with the invariants of
// harness/stream_info_run.h. Input: the stream, then one settings byte.
#include <cstdio>

#include "harness/stream_info_run.h"
#include "qelpsnd.h"

namespace {

void discard(int, const char*, void*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qelpsnd_set_diagnostics(discard, nullptr);
  if (const char* failed = fuzz_harness::run_stream_info(data, size)) {
    std::fprintf(stderr, "invariant broken: %s\n", failed);
    __builtin_trap();
  }
  return 0;
}

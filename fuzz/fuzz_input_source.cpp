// What the engine makes of a file's head and of IEC 61937 bursts, over the fuzzer's bytes, with the
// invariants of harness/input_source_run.h.
#include <cstdio>

#include "harness/input_source_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (const char* failed = fuzz_harness::run_input_source(data, size)) {
    std::fprintf(stderr, "invariant broken: %s\n", failed);
    __builtin_trap();
  }
  return 0;
}

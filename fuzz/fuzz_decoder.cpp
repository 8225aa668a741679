// The whole decoder on a few frames: decode_one_frame on a fresh decoder, twice, with the
// invariants of harness/decoder_run.h. Input: the stream, then one settings byte.
#include "harness/decoder_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_harness::fuzz_one_input(data, size, fuzz_harness::stages::whole_frame, 3);
  return 0;
}

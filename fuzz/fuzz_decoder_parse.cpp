// The decoder's parsing stages without the transform: syncinfo, bsi, side information, exponents,
// bit allocation, mantissas, coupling and rematrixing on a fresh decoder, twice, with the invariants
// of harness/decoder_run.h. Input: the stream, then one settings byte.
#include "harness/decoder_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_harness::fuzz_one_input(data, size, fuzz_harness::stages::parse, 3);
  return 0;
}

// A codec driver for the writer's tests: passes 16-bit stereo through unchanged under a private
// format tag, and can be told to consume only part of what it is offered, to hold everything until
// the END call, or to fail. It logs every conversion call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/msacm/acm_driver.h"

namespace writer_test {

constexpr WORD kTestTag = 0x7A01;

struct TestCodec {
  WORD extra_size = 0;          // codec-specific bytes in the offered format (0x10, 0x11, ...)
  DWORD consume = 0;            // most bytes consumed per call without END (0: all offered)
  bool hold_until_end = false;  // consume everything but produce only in the END calls
  DWORD suggested = 6144;       // destination size suggested for 6144 source bytes
  int fail_on_call = 0;         // 1-based call that returns fail_code (0: never)
  MMRESULT fail_code = MMSYSERR_INVALPARAM;
  bool never_consume = false;  // consumes and produces nothing

  struct Call {
    DWORD flags;
    DWORD offered;
    std::vector<uint8_t> bytes;  // what was offered
  };
  std::vector<Call> calls;
  std::vector<uint8_t> held;
};

// The one test codec; reset() restores the defaults and clears the log.
TestCodec& test_codec();
void test_codec_reset();
const AcmDriver* test_codec_driver();

// Choosers for acmSetFormatChooser.
MMRESULT choose_by_name(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offers, size_t count, void* name);
MMRESULT choose_cancel(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offers, size_t count, void* user);
// Fills in a format no driver makes (tag 0x7A02).
MMRESULT choose_unavailable(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offers, size_t count, void* user);

}  // namespace writer_test

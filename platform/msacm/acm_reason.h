// The texts the WAVE writer prints behind a failed codec-manager call, by call and result code.
#pragma once

#include <cstddef>

#include "msacm.h"

enum class AcmCall {
  format_choose,
  stream_open,
  stream_size,
  prepare_header,
  convert,
  unprepare_header,
  stream_close
};

// Writes the reason for code into out: the text of the table row that maps the call, or
// "Unknown error code (<code>)".
void acm_reason(AcmCall call, MMRESULT code, char* out, size_t size);

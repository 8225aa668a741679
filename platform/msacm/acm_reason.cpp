#include "acm_reason.h"

#include <cstdio>

namespace {

struct Reason {
  MMRESULT code;
  const char* text;
  bool (*maps)(AcmCall);
};

bool all(AcmCall) { return true; }
bool chooser(AcmCall c) { return c == AcmCall::format_choose; }
bool open_or_prepare(AcmCall c) { return c == AcmCall::stream_open || c == AcmCall::prepare_header; }
bool all_but_close(AcmCall c) { return c != AcmCall::stream_close; }
bool open_or_size(AcmCall c) { return c == AcmCall::stream_open || c == AcmCall::stream_size; }
bool busy_calls(AcmCall c) {
  return c == AcmCall::convert || c == AcmCall::unprepare_header || c == AcmCall::stream_close;
}
bool unprepared_calls(AcmCall c) { return c == AcmCall::convert || c == AcmCall::unprepare_header; }

const Reason kReasons[] = {
    {MMSYSERR_INVALHANDLE, "The specified handle is invalid. ", all},
    {MMSYSERR_NODRIVER, "A suitable driver is not available to provide valid format selections. ", chooser},
    {MMSYSERR_NOMEM, "The system is unable to allocate resources.", open_or_prepare},
    {MMSYSERR_INVALFLAG, "At least one flag is invalid. ", all},
    {MMSYSERR_INVALPARAM, "At least one parameter is invalid. ", all_but_close},
    {ACMERR_NOTPOSSIBLE,
     "The buffer identified by the pwfx member of the ACMFORMATCHOOSE structure is too small to contain the "
     "selected "
     "format.",
     chooser},
    {ACMERR_NOTPOSSIBLE, "The requested operation cannot be performed.", open_or_size},
    {ACMERR_BUSY, "The stream header specified in pash is currently in use and cannot be unprepared.",
     busy_calls},
    {ACMERR_UNPREPARED,
     "The stream header specified in pash is currently not prepared by the acmStreamPrepareHeader function.",
     unprepared_calls},
    {ACMERR_CANCELED,
     "The user chose the Cancel button or the Close command on the System menu to close the dialog box.",
     chooser},
};

}  // namespace

void acm_reason(AcmCall call, MMRESULT code, char* out, size_t size) {
  for (const Reason& r : kReasons) {
    if (r.code == code && r.maps(call)) {
      std::snprintf(out, size, "%s", r.text);
      return;
    }
  }
  std::snprintf(out, size, "Unknown error code (%ld)", static_cast<long>(code));
}

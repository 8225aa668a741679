// The consistency checks' failure report, for stages that find an inconsistency before the checks
// after the block would: prints "** Sanity check failed -- <what> **" and makes the frame bad.
#pragma once

#include "ac3/decoder_state.h"

namespace ac3 {

void sanity_check_failed(decoder& d, const char* what);

}  // namespace ac3

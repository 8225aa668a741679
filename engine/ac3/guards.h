// The consistency checks' failure report, for stages that find an inconsistency before the checks
// after the block would: prints "** Sanity check failed -- <what> **" and makes the frame bad.
#pragma once

namespace ac3 {

void sanity_check_failed(const char* what);

}  // namespace ac3

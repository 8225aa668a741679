// The demuxing module, loaded with dlopen on the first container file and kept for the life of the
// process (its handles may outlive any caller). Loading happens once, under a lock; every engine
// object shares the module's functions, each with handles of its own.
#pragma once

#include "platform/demux/demux_module.h"

namespace demux {

// The module's functions, loading it on the first call; nullptr when it is not available, then
// module_problem() says why. Thread-safe.
const DemuxApi* module_api();

// Why the module is not available ("" while it is loaded or not yet tried).
const char* module_problem();

// The loaded module's file and the libavformat version it runs with; "" while none is loaded.
const char* module_description();

}  // namespace demux

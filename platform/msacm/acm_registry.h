// The codec manager's drivers: the built-in PCM driver, drivers registered by a host or a test, and
// the FFmpeg module, loaded on first need.
#pragma once

#include <cstddef>

#include "acm_driver.h"

namespace acm {

constexpr size_t kMaxDrivers = 8;

// The drivers available without loading anything, in the order they are asked. Returns the count.
size_t drivers_loaded(const AcmDriver** out, size_t capacity);

// Loads the FFmpeg module once (later calls return the first outcome). True when its driver is
// available; otherwise module_problem() says why.
bool module_load();
const char* module_problem();
// The loaded module's file and the library versions it reports; "" while none is loaded.
const char* module_description();

}  // namespace acm

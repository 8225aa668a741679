// The codec manager's drivers: the built-in PCM driver, drivers registered by a host or a test, and
// the FFmpeg module, loaded on first need.
#pragma once

#include <cstddef>
#include <mutex>

#include "acm_driver.h"

namespace acm {

constexpr size_t kMaxDrivers = 8;

// The manager's lock: the driver table, the module, the host's chooser, the stream slots, and the
// drivers' suggest calls (which may keep caches) are used under it. Conversions on an open stream
// run without it, each stream on its own caller's thread.
std::mutex& manager_lock();

// The drivers available without loading anything, in the order they are asked. Returns the count.
// Call with the manager's lock held.
size_t drivers_loaded(const AcmDriver** out, size_t capacity);

// Loads the FFmpeg module once (later calls return the first outcome). True when its driver is
// available; otherwise module_problem() says why. Call with the manager's lock held.
bool module_load();
// Why the module is not available ("" while it is loaded or not yet tried). The text does not
// change once the load was tried.
const char* module_problem();
// The loaded module's file and the library versions it reports; "" while none is loaded.
const char* module_description();

}  // namespace acm

// The built-in PCM driver: 16-bit PCM in, PCM of 8, 16 or 24 bits or 32-bit float out, mono or
// stereo, at the source's rate. Needs nothing beyond the standard library.
#pragma once

#include "acm_driver.h"

const AcmDriver* pcm_driver();

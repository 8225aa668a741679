// Converting an AC-3 file through the engine with a chosen format, as a host does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/qelpsnd.h"

namespace codec_test {

// Converts in to out with the offer named short_name ("" keeps the default, no chooser). Returns
// InitEncoder's result; engine carries the counters and the last failure.
// When pcm is given, it receives every PCM frame the engine handed to the writer (interleaved
// 16-bit stereo).
int engine_convert(CQelpsnd& engine, const std::string& in, const std::string& out,
                   const std::string& short_name, std::vector<int16_t>* pcm = nullptr);

// True when a loaded object's path in /proc/self/maps contains needle.
bool mapped(const char* needle);

}  // namespace codec_test

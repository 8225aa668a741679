// Converting an input through the engine, as a host does, and reading what came out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/qelpsnd.h"

namespace inputs_test {

struct Conversion {
  int started = 0;                 // InitEncoder's result
  std::string error;               // m_lastErrorText after InitEncoder (or the last DecodeFrame)
  std::vector<uint8_t> wave;       // the output file's bytes
  uint32_t frames_muted = 0;
  uint64_t bytes_skipped = 0;
  uint32_t input_size = 0;
  uint32_t final_position = 0;     // m_inputPosition after the last DecodeFrame
  bool position_monotonic = true;  // m_inputPosition never went back nor past m_inputSize
};

// Converts in (audio track `track`, 0: the default) to a 16-bit PCM file in a scratch folder.
Conversion convert(const std::string& in, int track = 0);

// The fixture under tests/data/containers.
std::string container(const std::string& name);

}  // namespace inputs_test

// The PCM stream the engine hands to the writer and the player.
#pragma once

#include <cstdint>

namespace qelp {

struct StreamFormat {
  uint16_t channels;          // the engine sets 2
  uint32_t sampling_rate;     // Hz
  uint32_t bytes_per_frame;   // the engine sets 6144
};

}  // namespace qelp

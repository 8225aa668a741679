#include "support/decoder_reset.h"

#include <cstring>

#include "ac3/dither.h"
#include "ac3/imdct.h"

namespace qelp_test {

void decoder_state_reset() {
  ac3::dither_register_set(1);
  std::memset(ac3::delay_buffer, 0, sizeof ac3::delay_buffer);
}

}  // namespace qelp_test

#include "ac3/dither.h"

namespace ac3 {

int16_t dither_next(decoder& d) {
  d.dither_register = dither_step(d.dither_register);
  return dither_value(d.dither_register);
}

}  // namespace ac3

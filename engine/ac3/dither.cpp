#include "ac3/dither.h"

namespace ac3 {

namespace {

uint16_t g_register = 1;

}  // namespace

int16_t dither_next() {
  g_register = dither_step(g_register);
  return dither_value(g_register);
}

uint16_t dither_register() { return g_register; }
void dither_register_set(uint16_t value) { g_register = value; }

}  // namespace ac3

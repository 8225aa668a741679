// Placeholder until this stage is built.
#include "ac3/stages.h"

namespace ac3 {

void allocate_bits(uint16_t, const bsi&, audblk&) {}

}  // namespace ac3

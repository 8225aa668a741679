// Placeholder until this stage is built.
#include "ac3/stages.h"

namespace ac3 {

void unpack_coefficients(const bsi&, audblk&, coeff_buffer_t&) {}

}  // namespace ac3

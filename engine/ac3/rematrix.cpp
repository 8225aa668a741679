// Placeholder until this stage is built.
#include "ac3/stages.h"

namespace ac3 {

void rematrix_stereo(const audblk&, coeff_buffer_t&) {}

}  // namespace ac3

// Placeholder until this stage is built.
#include "ac3/stages.h"

namespace ac3 {

void imdct_tables_build() {}
void inverse_transform(const bsi&, const audblk&, coeff_buffer_t&) {}

}  // namespace ac3

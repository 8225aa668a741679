// Placeholder until this stage is built.
#include "ac3/stages.h"

namespace ac3 {

void expand_exponents(const bsi&, audblk&) {}

}  // namespace ac3

// Placeholder until this stage is built.
#include "ac3/stages.h"

namespace ac3 {

void read_audblk(const bsi&, audblk&) {}

}  // namespace ac3

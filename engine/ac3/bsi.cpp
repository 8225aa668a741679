// Placeholder until this stage is built.
#include "ac3/stages.h"

namespace ac3 {

void read_bsi(bsi&) {}

}  // namespace ac3

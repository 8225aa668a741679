// Placeholder until this stage is built.
#include "ac3/stages.h"

namespace ac3 {

void print_stream_banner(const syncinfo&, const bsi&) {}

}  // namespace ac3

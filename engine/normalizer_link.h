// The engine's side of the normalizer: its progress callback and the progress record.
#pragma once

namespace qelp {

// Installs ReportNormProgress as the normalizer's progress callback (done by the constructor).
void normalizer_attach();

// Sets scanned and normed to 0 (InitEncoder); state is left alone.
void normalizer_reset_progress();

}  // namespace qelp

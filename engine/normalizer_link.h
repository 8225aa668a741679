// The engine's side of the normalizer: its progress callback and the progress record.
#pragma once

namespace qelp {

// Installs ReportNormProgress as the normalizer's progress callback and sets scanned and normed
// to 0 (done by the constructor).
void normalizer_attach();

// Sets scanned and normed to 0 (InitEncoder); state is left alone.
void normalizer_reset_progress();

// Stops a worker that has changed nothing yet and waits for the worker to end (done by the
// destructor), so that no worker outlives the engine object.
void normalizer_detach();

// The progress callback: scanned and normed keep the larger value, state takes the third argument.
void ReportNormProgress(int scanned, int normed, int state);

}  // namespace qelp

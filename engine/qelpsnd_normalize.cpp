// Placeholder until the normalizer is built: the engine's normalizer operations.
#include "normalizer_link.h"
#include "qelpsnd.h"

namespace qelp {

void normalizer_attach() {}
void normalizer_reset_progress() {}

}  // namespace qelp

void CQelpsnd::StartNormalize() {}
int CQelpsnd::GetScanned() { return 0; }
int CQelpsnd::GetNormed() { return 0; }
bool CQelpsnd::GetNormState() { return false; }

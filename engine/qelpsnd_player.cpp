// Placeholder until the preview player is built: the engine's player operations.
#include "qelpsnd.h"

int CQelpsnd::StartPlayer() { return 0; }
int CQelpsnd::PlayNextFrame() { return 0; }
int CQelpsnd::StopPlayer() { return 0; }

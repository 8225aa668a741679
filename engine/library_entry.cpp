// The library's exported sample function and variable. The library needs no set-up when it is
// loaded: each engine object sets up its own parts.
#include "qelpsnd.h"

extern "C" {
QELPSND_API int nQelpsnd = 0;
QELPSND_API int fnQelpsnd() { return 42; }
}

extern "C" QELPSND_API const char* qelpsnd_version() { return QELP_VERSION; }

// The library's exported sample function and variable. The library needs no set-up when it is
// loaded: all of its state is static and zero at load.
#include "qelpsnd.h"

extern "C" {
QELPSND_API int nQelpsnd = 0;
QELPSND_API int fnQelpsnd() { return 42; }
}

extern "C" QELPSND_API const char* qelpsnd_version() { return QELP_VERSION; }

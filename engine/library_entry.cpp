// The library's exported sample function and variable. The library needs no set-up when it is
// loaded: each engine object sets up its own parts.
#include <string>

#include "platform/demux/demux_loader.h"
#include "qelpsnd.h"

extern "C" {
QELPSND_API int nQelpsnd = 0;
QELPSND_API int fnQelpsnd() { return 42; }
}

extern "C" QELPSND_API const char* qelpsnd_version() { return QELP_VERSION; }

extern "C" QELPSND_API const char* qelpsnd_demux_module() {
  if (demux::module_api() != nullptr) return demux::module_description();
  // The loader's problem text lives as long as the process, as does this copy.
  static thread_local std::string text;
  text = std::string("not loaded: ") + demux::module_problem();
  return text.c_str();
}

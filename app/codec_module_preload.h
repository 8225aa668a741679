// CCodecModulePreload: loads the FFmpeg codec module on a thread of its own while the program waits
// for the user. Start opens the format chooser, which lists the module's formats; loading the
// module there (tens of milliseconds for the FFmpeg libraries) would hold up every first Start.
// The codec manager loads the module once per process under its own lock, so a Start that comes
// before the load has ended waits for it, and a load that failed is said in the chooser as before.
#pragma once

#include <thread>

class CCodecModulePreload {
 public:
  CCodecModulePreload();
  CCodecModulePreload(const CCodecModulePreload&) = delete;
  CCodecModulePreload& operator=(const CCodecModulePreload&) = delete;
  // Waits until the load has ended: the library is not unloaded under a running dlopen.
  ~CCodecModulePreload();

 private:
  std::thread m_loader;
};

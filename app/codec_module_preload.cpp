#include "codec_module_preload.h"

#include <system_error>

#include "platform/msacm/msacm.h"

CCodecModulePreload::CCodecModulePreload()
{
  try {
    m_loader = std::thread([] { acmCodecModuleLoad(); });
  } catch (const std::system_error&) {
    // No thread to spare: the first Start loads the module, as it would without this.
  }
}

CCodecModulePreload::~CCodecModulePreload()
{
  if (m_loader.joinable()) m_loader.join();
}

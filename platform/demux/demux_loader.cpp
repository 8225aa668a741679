#include "demux_loader.h"

#include <dlfcn.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/module_file.h"

namespace demux {

namespace {

// The process's one load of the module: written once under the lock, read-only afterwards.
std::mutex g_lock;
bool g_tried = false;
const DemuxApi* g_api = nullptr;
char g_problem[1200] = "";
char g_description[1200] = "";

constexpr const char* kModuleFile = "qelp_demux_ffmpeg.so";

bool try_module(const std::string& path, std::string& problem) {
  platform::OpenedModule module;
  if (!platform::open_module(path, QELP_DEMUX_ENTRY_NAME, module, problem)) return false;
  const DemuxApi* api = module.entry != nullptr ? reinterpret_cast<DemuxEntry>(module.entry)() : nullptr;
  if (api == nullptr || api->interface_version != QELP_DEMUX_INTERFACE_VERSION) {
    problem = path + ": not a demuxing module of this version";
    dlclose(module.handle);
    return false;
  }
  g_api = api;
  std::snprintf(g_description, sizeof g_description, "%s (%s)", path.c_str(), api->versions());
  return true;
}

void load() {
  g_tried = true;
  // QELP_DEMUX_MODULE names the module file; "none" (or empty) switches container input off.
  const char* build_path = "";
#ifdef QELP_DEMUX_MODULE_BUILD_PATH
  build_path = QELP_DEMUX_MODULE_BUILD_PATH;
#endif
  std::string problem;
  switch (platform::find_module("QELP_DEMUX_MODULE", kModuleFile, reinterpret_cast<const void*>(&module_api),
                                build_path, try_module, problem)) {
    case platform::ModuleSearch::loaded:
      break;
    case platform::ModuleSearch::switched_off:
      std::snprintf(g_problem, sizeof g_problem, "the demuxing module is switched off (QELP_DEMUX_MODULE)");
      break;
    case platform::ModuleSearch::forced_failed:
      std::snprintf(g_problem, sizeof g_problem, "the demuxing module is not usable: %s", problem.c_str());
      break;
    case platform::ModuleSearch::not_found:
      std::snprintf(g_problem, sizeof g_problem,
                    "the demuxing module (FFmpeg's libavformat) is not installed or not usable (%s)", problem.c_str());
      break;
  }
}

}  // namespace

const DemuxApi* module_api() {
  std::lock_guard<std::mutex> guard(g_lock);
  if (!g_tried) load();
  return g_api;
}

const char* module_problem() {
  std::lock_guard<std::mutex> guard(g_lock);
  return g_problem;
}

const char* module_description() {
  std::lock_guard<std::mutex> guard(g_lock);
  return g_description;
}

}  // namespace demux

#include "demux_loader.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace demux {

namespace {

// The process's one load of the module: written once under the lock, read-only afterwards.
std::mutex g_lock;
bool g_tried = false;
const DemuxApi* g_api = nullptr;
char g_problem[1200] = "";
char g_description[1200] = "";

constexpr const char* kModuleFile = "qelp_demux_ffmpeg.so";

// The folder of the object (shared library or program) this code was linked into.
std::string own_folder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&module_api), &info) == 0 || info.dli_fname == nullptr) return {};
  std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool try_module(const std::string& path, std::string& problem) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    problem = why != nullptr ? why : path + ": cannot be loaded";
    return false;
  }
  auto entry = reinterpret_cast<DemuxEntry>(dlsym(handle, QELP_DEMUX_ENTRY_NAME));
  const DemuxApi* api = entry != nullptr ? entry() : nullptr;
  if (api == nullptr || api->interface_version != QELP_DEMUX_INTERFACE_VERSION) {
    problem = path + ": not a demuxing module of this version";
    dlclose(handle);
    return false;
  }
  g_api = api;
  std::snprintf(g_description, sizeof g_description, "%s (%s)", path.c_str(), api->versions());
  return true;
}

void load() {
  g_tried = true;
  // QELP_DEMUX_MODULE names the module file; "none" (or empty) switches container input off.
  if (const char* forced = std::getenv("QELP_DEMUX_MODULE")) {
    std::string problem;
    if (forced[0] == '\0' || std::strcmp(forced, "none") == 0) {
      std::snprintf(g_problem, sizeof g_problem, "the demuxing module is switched off (QELP_DEMUX_MODULE)");
      return;
    }
    if (!try_module(forced, problem))
      std::snprintf(g_problem, sizeof g_problem, "the demuxing module is not usable: %s", problem.c_str());
    return;
  }
  std::string candidates[2] = {own_folder() + "/" + kModuleFile, ""};
#ifdef QELP_DEMUX_MODULE_BUILD_PATH
  candidates[1] = QELP_DEMUX_MODULE_BUILD_PATH;
#endif
  std::string first_problem;
  for (const std::string& path : candidates) {
    if (path.empty()) continue;
    std::string problem;
    if (try_module(path, problem)) return;
    if (first_problem.empty()) first_problem = problem;
  }
  std::snprintf(g_problem, sizeof g_problem, "the demuxing module (FFmpeg's libavformat) is not installed or not usable (%s)",
                first_problem.c_str());
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

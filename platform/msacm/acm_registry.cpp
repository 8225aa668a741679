#include "acm_registry.h"

#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "pcm_driver.h"
#include "platform/module_file.h"

namespace acm {

namespace {

// The codec manager's shared state: the driver table, shared by every engine object of the process.
std::mutex g_manager_lock;
const AcmDriver* g_registered[kMaxDrivers] = {};
const AcmDriver* g_module_driver = nullptr;
bool g_module_tried = false;
char g_module_problem[1200] = "";
char g_module_description[1200] = "";

constexpr const char* kModuleFile = "qelp_acm_ffmpeg.so";

bool try_module(const std::string& path, std::string& problem) {
  platform::OpenedModule module;
  if (!platform::open_module(path, ACM_DRIVER_ENTRY_NAME, module, problem)) return false;
  const AcmDriver* driver = module.entry != nullptr ? reinterpret_cast<AcmDriverEntry>(module.entry)() : nullptr;
  if (driver == nullptr || driver->interface_version != ACM_DRIVER_INTERFACE_VERSION) {
    problem = path + ": not a codec driver of this version";
    dlclose(module.handle);
    return false;
  }
  void* handle = module.handle;
  // The module stays loaded for the life of the process, as its streams may outlive any caller.
  g_module_driver = driver;
  auto versions = reinterpret_cast<AcmModuleVersions>(dlsym(handle, ACM_MODULE_VERSIONS_NAME));
  const char* text = versions != nullptr ? versions() : nullptr;
  std::snprintf(g_module_description, sizeof g_module_description, "%s%s%s%s", path.c_str(),
                text != nullptr ? " (" : "", text != nullptr ? text : "", text != nullptr ? ")" : "");
  return true;
}

}  // namespace

std::mutex& manager_lock() { return g_manager_lock; }

size_t drivers_loaded(const AcmDriver** out, size_t capacity) {
  size_t n = 0;
  if (n < capacity) out[n++] = pcm_driver();
  for (const AcmDriver* d : g_registered) {
    if (d != nullptr && n < capacity) out[n++] = d;
  }
  if (g_module_driver != nullptr && n < capacity) out[n++] = g_module_driver;
  return n;
}

bool module_load() {
  if (g_module_tried) return g_module_driver != nullptr;
  g_module_tried = true;
  // QELP_CODEC_MODULE names the module file; "none" (or empty) means PCM only.
  const char* build_path = "";
#ifdef QELP_ACM_MODULE_BUILD_PATH
  build_path = QELP_ACM_MODULE_BUILD_PATH;
#endif
  std::string problem;
  switch (platform::find_module("QELP_CODEC_MODULE", kModuleFile, reinterpret_cast<const void*>(&module_load),
                                build_path, try_module, problem)) {
    case platform::ModuleSearch::loaded:
      return true;
    case platform::ModuleSearch::switched_off:
      std::snprintf(g_module_problem, sizeof g_module_problem,
                    "the FFmpeg codec module is switched off (QELP_CODEC_MODULE)");
      break;
    case platform::ModuleSearch::forced_failed:
      std::snprintf(g_module_problem, sizeof g_module_problem, "the FFmpeg codec module is not usable: %s",
                    problem.c_str());
      break;
    case platform::ModuleSearch::not_found:
      std::snprintf(g_module_problem, sizeof g_module_problem,
                    "the FFmpeg codec module is not installed or not usable (%s); only PCM formats are available",
                    problem.c_str());
      break;
  }
  return false;
}

const char* module_problem() {
  std::lock_guard<std::mutex> guard(g_manager_lock);
  // Written only by the one load, under the lock: stable from then on.
  return g_module_tried ? g_module_problem : "";
}

const char* module_description() {
  std::lock_guard<std::mutex> guard(g_manager_lock);
  // Written only by the one load, under the lock: stable from then on.
  return g_module_description;
}

}  // namespace acm

MMRESULT acm_driver_register(const AcmDriver* driver) {
  if (driver == nullptr || driver->interface_version != ACM_DRIVER_INTERFACE_VERSION)
    return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> guard(acm::g_manager_lock);
  for (const AcmDriver*& slot : acm::g_registered) {
    if (slot == driver) return MMSYSERR_NOERROR;
  }
  for (const AcmDriver*& slot : acm::g_registered) {
    if (slot == nullptr) {
      slot = driver;
      return MMSYSERR_NOERROR;
    }
  }
  return MMSYSERR_NOMEM;
}

void acm_driver_unregister(const AcmDriver* driver) {
  std::lock_guard<std::mutex> guard(acm::g_manager_lock);
  for (const AcmDriver*& slot : acm::g_registered) {
    if (slot == driver) slot = nullptr;
  }
}

#include "acm_registry.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pcm_driver.h"

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

// The folder of the object (shared library or program) this code was linked into.
std::string own_folder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&module_load), &info) == 0 || info.dli_fname == nullptr) return {};
  std::string path = info.dli_fname;
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool try_module(const std::string& path, std::string& problem) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    problem = why != nullptr ? why : path + ": cannot be loaded";
    return false;
  }
  auto entry = reinterpret_cast<AcmDriverEntry>(dlsym(handle, ACM_DRIVER_ENTRY_NAME));
  const AcmDriver* driver = entry != nullptr ? entry() : nullptr;
  if (driver == nullptr || driver->interface_version != ACM_DRIVER_INTERFACE_VERSION) {
    problem = path + ": not a codec driver of this version";
    dlclose(handle);
    return false;
  }
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
  if (const char* forced = std::getenv("QELP_CODEC_MODULE")) {
    std::string problem;
    if (forced[0] == '\0' || std::strcmp(forced, "none") == 0) {
      std::snprintf(g_module_problem, sizeof g_module_problem,
                    "the FFmpeg codec module is switched off (QELP_CODEC_MODULE)");
      return false;
    }
    if (try_module(forced, problem)) return true;
    std::snprintf(g_module_problem, sizeof g_module_problem, "the FFmpeg codec module is not usable: %s",
                  problem.c_str());
    return false;
  }
  std::string candidates[2] = {own_folder() + "/" + kModuleFile, ""};
#ifdef QELP_ACM_MODULE_BUILD_PATH
  candidates[1] = QELP_ACM_MODULE_BUILD_PATH;
#endif
  std::string first_problem;
  for (const std::string& path : candidates) {
    if (path.empty()) continue;
    std::string problem;
    if (try_module(path, problem)) return true;
    if (first_problem.empty()) first_problem = problem;
  }
  std::snprintf(g_module_problem, sizeof g_module_problem,
                "the FFmpeg codec module is not installed or not usable (%s); only PCM formats are available",
                first_problem.c_str());
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

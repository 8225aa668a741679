#include "platform/module_file.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// The folder of the object (shared library or program) that holds address.
std::string folder_of(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  const std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

ModuleSearch find_module(const char* env_name, const char* file_name, const void* near, const char* build_path,
                         const std::function<bool(const std::string&, std::string&)>& accept, std::string& problem) {
  problem.clear();
  if (const char* forced = std::getenv(env_name)) {
    if (forced[0] == '\0' || std::strcmp(forced, "none") == 0) return ModuleSearch::switched_off;
    return accept(forced, problem) ? ModuleSearch::loaded : ModuleSearch::forced_failed;
  }
  const std::string candidates[2] = {folder_of(near) + "/" + file_name, build_path != nullptr ? build_path : ""};
  for (const std::string& path : candidates) {
    if (path.empty()) continue;
    std::string why;
    if (accept(path, why)) return ModuleSearch::loaded;
    if (problem.empty()) problem = why;
  }
  return ModuleSearch::not_found;
}

bool open_module(const std::string& path, const char* entry_name, OpenedModule& module, std::string& problem) {
  module = OpenedModule{};
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    problem = why != nullptr ? why : path + ": cannot be loaded";
    return false;
  }
  module.handle = handle;
  module.entry = dlsym(handle, entry_name);
  return true;
}

}  // namespace platform

// Finding and opening an optional module (a shared object loaded with dlopen on first use, such as
// the FFmpeg codec module and the demuxing module). Both are found the same way: the file an
// environment variable names ("none" or empty switches the module off), else the module's file in
// the folder of the library or program this code is linked into, then its place in the build tree.
#pragma once

#include <functional>
#include <string>

namespace platform {

// How the search for a module ended.
enum class ModuleSearch {
  loaded,        // a file was accepted
  switched_off,  // the variable says "none" (or is empty)
  forced_failed, // the file the variable names was not accepted; problem says why
  not_found,     // no candidate was accepted; problem says why the first one was not
};

// Offers each candidate to accept (which loads it, or says why not in its second argument) until
// one is accepted. env_name is the variable, file_name the module's file name next to near (the
// address of any function of the caller), build_path the build tree's copy ("" when none).
ModuleSearch find_module(const char* env_name, const char* file_name, const void* near, const char* build_path,
                         const std::function<bool(const std::string&, std::string&)>& accept, std::string& problem);

// A module opened by open_module: dlopen's handle and the address of its entry function.
struct OpenedModule {
  void* handle = nullptr;
  void* entry = nullptr;
};

// Opens path with every symbol bound at once and kept local to it, and looks up entry_name (nullptr
// when the file has no such function: not a module of the kind asked for). False with problem said
// when the file cannot be opened. A module the caller keeps stays loaded for the life of the
// process; one it refuses it closes with dlclose(module.handle).
bool open_module(const std::string& path, const char* entry_name, OpenedModule& module, std::string& problem);

}  // namespace platform

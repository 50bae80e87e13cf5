// The reference host's plug-in library: the module loaded with the
// dynamic loader (the system's loader on Windows, in the same shape) and
// its six exports looked up, with one sentence naming the library when
// either fails.
#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <cstring>
#include <string>

#include "vthost.h"

namespace vthost {

namespace {

#ifdef _WIN32
// The system's loader in the dynamic loader's shape.
enum { RTLD_NOW = 0, RTLD_LOCAL = 0 };
HMODULE dlopen(const char* path, int) { return LoadLibraryA(path); }
void* dlsym(HMODULE module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(module, name));
}
void dlclose(HMODULE module) { FreeLibrary(module); }
const char* dlerror() {
  static char reason[64];
  wsprintfA(reason, "system error %lu", GetLastError());
  return reason;
}
#endif

template <typename Procedure>
Procedure exportOf(HMODULE module, const std::string& path, const char* name) {
  void* address = dlsym(module, name);
  if (address == nullptr) {
    throw HostError("The plug-in " + path + " does not export " + name +
                    "; is it a Vortigen plug-in built for this host?");
  }
  Procedure procedure = nullptr;
  static_assert(sizeof procedure == sizeof address);
  std::memcpy(&procedure, &address, sizeof procedure);
  return procedure;
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
  module_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module_ == nullptr) {
    const char* reason = dlerror();
    throw HostError("The plug-in " + path + " could not be loaded (" +
                    (reason != nullptr ? reason : "no reason given") +
                    "); check the path and that the library was built.");
  }
  try {
    queryXfm = exportOf<XfmQueryProc>(module_, path, "QueryXfm");
    xfmInit = exportOf<XfmInitProc>(module_, path, "XfmInit");
    xfmSetup = exportOf<XfmSetupProc>(module_, path, "XfmSetup");
    xfmDo = exportOf<XfmDoProc>(module_, path, "XfmDo");
    xfmDestroy = exportOf<XfmDestroyProc>(module_, path, "XfmDestroy");
    dialogProcedure = exportOf<DLGPROC>(module_, path, "DIALOGMsgProc");
  } catch (...) {
    dlclose(module_);
    throw;
  }
}

PluginLibrary::~PluginLibrary() { dlclose(module_); }

}  // namespace vthost

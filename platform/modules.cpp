// Linux stand-in for the Windows export look-up (dialog_session.cpp runs the
// modal dialogs).
//
// A module handle is the handle the dynamic loader returned for the
// library. Exports are found by name with the loader; by ordinal through
// the table the library makes visible under VT_MODULE_ORDINALS_SYMBOL.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "vtplatform.h"

namespace {

FARPROC asProcedure(void* address) {
  FARPROC procedure = nullptr;
  static_assert(sizeof procedure == sizeof address);
  std::memcpy(&procedure, &address, sizeof procedure);
  return procedure;
}

const char* nameOfOrdinal(HMODULE module, WORD ordinal) {
  const auto* table = static_cast<const VtModuleOrdinal*>(dlsym(module, VT_MODULE_ORDINALS_SYMBOL));
  if (table == nullptr) return nullptr;
  for (; table->ordinal != 0; ++table) {
    if (table->ordinal == ordinal) return table->name;
  }
  return nullptr;
}

}  // namespace

extern "C" {

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  if (module == nullptr || name == nullptr) return nullptr;
  if (IS_INTRESOURCE(name)) {
    name = nameOfOrdinal(module, static_cast<WORD>(reinterpret_cast<UINT_PTR>(name)));
    if (name == nullptr) return nullptr;
  }
  return asProcedure(dlsym(module, name));
}

}  // extern "C"

// Linux stand-in for the Windows message box, version query and fatal
// application exit. No person can be asked here, so the box prints what it
// would show and takes its answer from a policy the hosting process sets.
//
// Built into a module that another program hosts (the LV2 bundle, with
// VTPLATFORM_SILENT) it prints nothing: a plug-in writes nothing on its
// host's standard output or error. There no policy is ever set, so the box
// answers with the button that lets the host go on.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vtplatform.h"

namespace {

int letProcessGoOn(const char*, const char*, UINT type) {
  return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
}

VtMessageBoxPolicy currentPolicy = letProcessGoOn;

}  // namespace

extern "C" VtMessageBoxPolicy vtSetMessageBoxPolicy(VtMessageBoxPolicy policy) {
  VtMessageBoxPolicy previous = currentPolicy;
  currentPolicy = policy != nullptr ? policy : letProcessGoOn;
  return previous;
}

extern "C" int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
#ifndef VTPLATFORM_SILENT
  std::fprintf(stderr, "[%s]\n%s\n", caption != nullptr ? caption : "Error",
               text != nullptr ? text : "");
  std::fflush(stderr);
#endif
  return currentPolicy(text != nullptr ? text : "", caption != nullptr ? caption : "", type);
}

extern "C" BOOL WINAPI GetVersionExA(OSVERSIONINFOA* info) {
  if (info == nullptr || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) return FALSE;
  info->dwMajorVersion = 4;
  info->dwMinorVersion = 0;
  info->dwBuildNumber = 0;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  info->szCSDVersion[0] = '\0';
  return TRUE;
}

extern "C" void WINAPI FatalAppExitA(UINT, LPCSTR message) {
#ifndef VTPLATFORM_SILENT
  std::fprintf(stderr, "%s\n", message != nullptr ? message : "");
  std::fflush(stderr);
#else
  (void)message;
#endif
  std::_Exit(EXIT_FAILURE);
}

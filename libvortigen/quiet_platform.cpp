// The three platform services the kernel can call, for libvortigen: a
// library inside someone else's program prints nothing and asks no one.
// The kernel reaches them only on a fault of its own (a routine given
// arguments it cannot take), which the engine's calls never are; the
// caller's program keeps its standard error to itself, and such a fault
// ends in abort() where a debugger or a core dump shows it.
#include <cstdlib>

#include "win32.h"

extern "C" int WINAPI MessageBoxA(HWND, LPCSTR, LPCSTR, UINT type) {
  // The answer that lets the kernel go on, as a person pressing Enter would.
  return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
}

extern "C" BOOL WINAPI GetVersionExA(OSVERSIONINFOA* info) {
  if (info == nullptr || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) return FALSE;
  *info = OSVERSIONINFOA{};
  info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  info->dwMajorVersion = 4;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  return TRUE;
}

extern "C" void WINAPI FatalAppExitA(UINT, LPCSTR) { std::abort(); }

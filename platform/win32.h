/* win32.h - the Windows services the plug-ins and the kernel call.
 *
 * On Windows this is <windows.h>. Elsewhere it declares the stand-ins of
 * the vtplatform library, with the same names, signatures and constants,
 * so that plug-in code reads the same on every platform.
 */
#ifndef VORTIGEN_PLATFORM_WIN32_H
#define VORTIGEN_PLATFORM_WIN32_H

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VTPLATFORM_BUILD)
#define VTPLATFORM_API __attribute__((visibility("default")))
#else
#define VTPLATFORM_API
#endif

#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef char CHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;
typedef size_t SIZE_T;
typedef struct VtWindow* HWND;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

/* ---- Message box ---------------------------------------------------------- */

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_YESNO 0x00000004u
#define MB_ICONHAND 0x00000010u
#define MB_SYSTEMMODAL 0x00001000u
#define MB_TYPEMASK 0x0000000Fu

#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

VTPLATFORM_API int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

/* ---- Version query and fatal exit ----------------------------------------- */

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

typedef struct {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
} OSVERSIONINFOA;

VTPLATFORM_API BOOL WINAPI GetVersionExA(OSVERSIONINFOA* info);
VTPLATFORM_API void WINAPI FatalAppExitA(UINT action, LPCSTR message);

#ifdef __cplusplus
}
#endif

#endif /* _WIN32 */
#endif /* VORTIGEN_PLATFORM_WIN32_H */

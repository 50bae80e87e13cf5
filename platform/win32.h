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
typedef unsigned short WORD;
typedef unsigned char BYTE;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef struct VtWindow* HWND;
typedef struct VtDeviceContext* HDC;
/* A module is the handle the dynamic loader gave for the library. */
typedef void* HMODULE;
typedef HMODULE HINSTANCE;
typedef INT_PTR (*FARPROC)(void);

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

/* ---- Movable global memory ------------------------------------------------ */

/* A handle names a block; the block's address is known only while it is
 * locked, and an unlocked movable block may move. */
typedef void* HGLOBAL;

#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

VTPLATFORM_API HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
/* Returns the block's address and raises its lock count; null on failure. */
VTPLATFORM_API LPVOID WINAPI GlobalLock(HGLOBAL block);
/* Lowers the lock count: nonzero while the block is still locked, 0 once it
 * is unlocked (or was not locked). */
VTPLATFORM_API BOOL WINAPI GlobalUnlock(HGLOBAL block);
/* Returns null once freed, the handle itself when it names no block. */
VTPLATFORM_API HGLOBAL WINAPI GlobalFree(HGLOBAL block);
VTPLATFORM_API SIZE_T WINAPI GlobalSize(HGLOBAL block);

/* ---- Strings ---------------------------------------------------------------- */

VTPLATFORM_API LPSTR WINAPI lstrcpyA(LPSTR destination, LPCSTR source);

/* ---- Modules and dialogs ------------------------------------------------------ */

#define MAKEINTRESOURCEA(id) ((LPSTR)(UINT_PTR)(WORD)(id))
#define IS_INTRESOURCE(name) (((UINT_PTR)(name) >> 16) == 0)

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

/* By name, or by ordinal when the name is MAKEINTRESOURCEA(ordinal). */
VTPLATFORM_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
/* Returns the value the dialog ended with, or -1 when it cannot be created. */
VTPLATFORM_API INT_PTR WINAPI DialogBoxParamA(HINSTANCE module, LPCSTR templateName, HWND owner,
                                              DLGPROC procedure, LPARAM initParam);

#ifdef __cplusplus
}
#endif

/* Windows, dialogs, drawing, help, profile files and formatting. */
#include "win32dialogs.h"

#endif /* _WIN32 */
#endif /* VORTIGEN_PLATFORM_WIN32_H */

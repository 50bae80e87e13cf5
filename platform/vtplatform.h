/* vtplatform.h - controls of the Linux stand-in for the Windows services.
 *
 * These have no Windows counterpart: they let the process that hosts the
 * plug-ins (the reference host, a test) decide what a person would have
 * decided on Windows, such as the button pressed in a message box.
 */
#ifndef VORTIGEN_PLATFORM_VTPLATFORM_H
#define VORTIGEN_PLATFORM_VTPLATFORM_H

#include "win32.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Answers a message box: returns the id of the button pressed (IDYES,
 * IDNO, IDOK, IDCANCEL). The stand-in prints caption and text to standard
 * error before asking the policy. */
typedef int (*VtMessageBoxPolicy)(const char* text, const char* caption, UINT type);

/* Installs a policy; null restores the default, which answers with the
 * button that lets the process go on (IDNO for Yes/No, IDOK otherwise).
 * Returns the policy installed before. */
VTPLATFORM_API VtMessageBoxPolicy vtSetMessageBoxPolicy(VtMessageBoxPolicy policy);

/* ---- Movable global memory ------------------------------------------------ */

/* What the memory stand-in has seen since the process started. */
typedef struct {
  long allocCalls;  /* GlobalAlloc calls, failed ones included */
  long lockCalls;   /* GlobalLock calls, failed ones included */
  long liveBlocks;  /* blocks allocated and not yet freed */
  long liveLocks;   /* sum of the lock counts of the live blocks */
} VtGlobalStats;

VTPLATFORM_API void vtGlobalStats(VtGlobalStats* stats);

/* Makes the nth GlobalAlloc (or GlobalLock) from now fail: 1 is the next
 * call. 0 disarms. The failure happens once; later calls succeed again. */
VTPLATFORM_API void vtGlobalFailAlloc(long nth);
VTPLATFORM_API void vtGlobalFailLock(long nth);

/* Called with the flags and size of every GlobalAlloc, before it is
 * decided whether it fails. Null removes the observer. */
typedef void (*VtGlobalAllocObserver)(UINT flags, SIZE_T bytes);
VTPLATFORM_API VtGlobalAllocObserver vtGlobalSetAllocObserver(VtGlobalAllocObserver observer);

/* ---- Module ordinals ------------------------------------------------------ */

/* A library that wants its exports found by ordinal (GetProcAddress with
 * MAKEINTRESOURCEA) makes a table of these visible under the name
 * VT_MODULE_ORDINALS_SYMBOL, ended by an entry with ordinal 0. */
typedef struct {
  WORD ordinal;
  const char* name;
} VtModuleOrdinal;

#define VT_MODULE_ORDINALS_SYMBOL "vtModuleOrdinals"

#ifdef __cplusplus
}
#endif

#endif

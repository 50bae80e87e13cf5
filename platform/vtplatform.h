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

#ifdef __cplusplus
}
#endif

#endif

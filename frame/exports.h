/* exports.h - the entry points every plug-in library exports, by name with
 * C linkage, and their fixed ordinals.
 *
 * VORTIGEN_EXPORT_ORDINALS is the one list of names and ordinals: the
 * Windows module-definition file is generated from it, and on Linux it
 * becomes the table through which GetProcAddress finds an export by
 * ordinal.
 */
#ifndef VORTIGEN_FRAME_EXPORTS_H
#define VORTIGEN_FRAME_EXPORTS_H

#include "xfm.h"

#define VORTIGEN_EXPORT_ORDINALS(X) \
  X(2, QueryXfm)                    \
  X(3, XfmInit)                     \
  X(4, XfmSetup)                    \
  X(5, XfmDo)                       \
  X(6, XfmDestroy)                  \
  X(100, DIALOGMsgProc)

/* Windows exports through the module-definition file; elsewhere the
 * libraries are built with hidden visibility and these are made visible. */
#ifdef _WIN32
#define VORTIGEN_EXPORT
#else
#define VORTIGEN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

VORTIGEN_EXPORT WORD XFMAPI QueryXfm(XfmDescriptor* descriptor);
VORTIGEN_EXPORT int XFMAPI XfmInit(XfmDoRecord* record);
VORTIGEN_EXPORT int XFMAPI XfmSetup(HWND parent, HINSTANCE module, XfmDoRecord* record);
VORTIGEN_EXPORT int XFMAPI XfmDo(XfmDoRecord* record);
VORTIGEN_EXPORT int XFMAPI XfmDestroy(XfmDoRecord* record);
VORTIGEN_EXPORT INT_PTR CALLBACK DIALOGMsgProc(HWND dialog, UINT message, WPARAM first,
                                               LPARAM second);

#ifdef __cplusplus
}
#endif

/* The ordinal of the dialog procedure and the id of its template. */
enum { DialogProcOrdinal = 100, DialogTemplateId = 500 };

#endif

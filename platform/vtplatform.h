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
  long allocCalls; /* GlobalAlloc calls, failed ones included */
  long lockCalls;  /* GlobalLock calls, failed ones included */
  long liveBlocks; /* blocks allocated and not yet freed */
  long liveLocks;  /* sum of the lock counts of the live blocks */
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

/* ---- Module resources ------------------------------------------------------ */

/* A library's resources, where DialogBoxParamA finds its dialog templates:
 * a table of these made visible under VT_MODULE_RESOURCES_SYMBOL, ended by
 * an entry of type 0. A resource is named by number (id, name null) or by
 * text (name). */
#define VT_RESOURCE_BITMAP 2 /* data: the bytes of a .bmp file */
#define VT_RESOURCE_DIALOG 5 /* data: a VtDialogTemplate */

typedef struct {
  WORD type;
  WORD id;
  const char* name;
  const void* data;
  size_t size;
} VtModuleResource;

#define VT_MODULE_RESOURCES_SYMBOL "vtModuleResources"

/* A dialog template as a resource script states it. Positions and sizes
 * are in dialog units of the template's font; the dialog's size is that of
 * its client area. */
typedef struct {
  int id;                /* -1 for a control without an id */
  const char* className; /* "BUTTON", "STATIC", "LISTBOX" or "EDIT" */
  const char* text;
  DWORD style;
  short x, y, width, height;
} VtDialogItemTemplate;

typedef struct {
  DWORD style;
  short x, y, width, height;
  const char* caption;
  const char* fontName;
  WORD pointSize;
  const VtDialogItemTemplate* items;
  int itemCount;
} VtDialogTemplate;

/* ---- Driving a modal dialog ------------------------------------------------ */

/* No person sits at the screen here: a hosting process (a host, a test)
 * drives each modal dialog through an idle handler. DialogBoxParamA's loop
 * dispatches every queued message, then paints, and only then, with nothing
 * left to do, calls the handler. The handler acts on the dialog with the
 * vtDialog* calls below, whose input goes through the dialog's message
 * queue as a person's would, and returns nonzero to be called again once
 * that input has been handled, or 0 when its script has run out. Then the
 * dialog is closed with its close box; a dialog that does not end on that
 * is ended by the loop with 0, so that nothing waits for ever. Without a
 * handler every dialog is closed at once in that way. One handler serves
 * every dialog of the process; null removes it. */
typedef int (*VtDialogIdleHandler)(HWND dialog, void* context);
VTPLATFORM_API void vtSetDialogIdleHandler(VtDialogIdleHandler handler, void* context);

/* Input. Each is queued, in order with everything else the dialog is to
 * handle, and carried out when the loop reaches it. Each returns FALSE,
 * and queues nothing, when the dialog is not the open one or the control
 * is missing, of the wrong kind or disabled. */
/* A click on a push button: the button takes the focus, the dialog gets
 * its BN_CLICKED command. */
VTPLATFORM_API BOOL vtDialogClick(HWND dialog, int id);
/* The Enter key: the command of the push button that has the focus, else
 * of the default push button, else IDOK. */
VTPLATFORM_API BOOL vtDialogPressEnter(HWND dialog);
/* The Escape key: the IDCANCEL command. */
VTPLATFORM_API BOOL vtDialogPressEscape(HWND dialog);
/* The close box: WM_CLOSE, which the dialog manager turns into IDCANCEL
 * when the dialog procedure leaves it alone. */
VTPLATFORM_API BOOL vtDialogCloseBox(HWND dialog);
/* WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP or WM_LBUTTONDBLCLK at client
 * coordinates (x, y) of the dialog, sent to the dialog wherever the point
 * lies, as if the dialog had captured the mouse. */
VTPLATFORM_API BOOL vtDialogMouse(HWND dialog, UINT message, int x, int y);
/* Gives a control the keyboard focus (with the focus notifications). */
VTPLATFORM_API BOOL vtDialogFocus(HWND dialog, int id);
/* Types text into an edit box, replacing its text: focus, EN_UPDATE,
 * EN_CHANGE. */
VTPLATFORM_API BOOL vtDialogType(HWND dialog, int id, const char* text);
/* A click on item index of a list box: focus, selection, LBN_SELCHANGE
 * (nothing but the focus when there is no such item). */
VTPLATFORM_API BOOL vtDialogSelectListItem(HWND dialog, int id, int index);
/* A double click on it: as above, then LBN_DBLCLK. */
VTPLATFORM_API BOOL vtDialogDoubleClickListItem(HWND dialog, int id, int index);

/* What a dialog shows. Texts and list contents are read with
 * GetDlgItemTextA and SendDlgItemMessageA (LB_GETCOUNT, LB_GETTEXT,
 * LB_GETCURSEL). */
typedef struct {
  char caption[128];
  RECT window; /* screen coordinates, frame and caption included */
  RECT client; /* screen coordinates of the client area */
  int controlCount;
  int baseUnitX; /* the font's dialog base units, in pixels */
  int baseUnitY;
} VtDialogView;

typedef struct {
  HWND window;
  int id;
  char className[16];
  char text[256];
  DWORD style;
  RECT rect; /* client coordinates of the dialog */
  BOOL enabled;
  BOOL focused;
} VtControlView;

VTPLATFORM_API BOOL vtDialogView(HWND dialog, VtDialogView* view);
/* Controls in template order, index from 0. */
VTPLATFORM_API BOOL vtDialogControl(HWND dialog, int index, VtControlView* view);

/* What has been drawn into the dialog since its background was last
 * erased, in drawing order, in client coordinates. */
typedef enum { VT_DRAW_LINE = 1, VT_DRAW_FILL = 2 } VtDrawingKind;
typedef struct {
  int kind;
  RECT area; /* a line from (left, top) to (right, bottom); a fill's rectangle */
  COLORREF color;
  int width; /* of a line's pen */
} VtDrawing;

VTPLATFORM_API int vtDialogDrawingCount(HWND dialog);
VTPLATFORM_API BOOL vtDialogDrawing(HWND dialog, int index, VtDrawing* drawing);

/* ---- Help -------------------------------------------------------------------- */

/* Sees every WinHelpA request; null removes it. Returns the one before. */
typedef void (*VtHelpObserver)(HWND window, const char* helpFile, UINT command, ULONG_PTR data);
VTPLATFORM_API VtHelpObserver vtSetHelpObserver(VtHelpObserver observer);

#ifdef __cplusplus
}
#endif

#endif

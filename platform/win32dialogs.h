/* win32dialogs.h - the Windows dialog, window, drawing, help, profile and
 * formatting services, as the Linux stand-in (vtplatform) offers them.
 *
 * Included by win32.h on Linux only; on Windows <windows.h> declares all of
 * these. Names, signatures, constants and semantics are the Windows ones;
 * where the stand-in does less than Windows, the comment says so.
 */
#ifndef VORTIGEN_PLATFORM_WIN32DIALOGS_H
#define VORTIGEN_PLATFORM_WIN32DIALOGS_H

#ifdef __cplusplus
extern "C" {
#endif

typedef uintptr_t ULONG_PTR;
typedef LONG_PTR LRESULT;
#define WINAPIV
typedef DWORD COLORREF;
typedef struct VtGdiObject* HGDIOBJ;
typedef HGDIOBJ HPEN;
typedef HGDIOBJ HBRUSH;

typedef struct {
  LONG left;
  LONG top;
  LONG right;  /* exclusive */
  LONG bottom; /* exclusive */
} RECT;

typedef struct {
  LONG x;
  LONG y;
} POINT;

typedef struct {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
} PAINTSTRUCT;

#define LOWORD(value) ((WORD)(((UINT_PTR)(value)) & 0xFFFF))
#define HIWORD(value) ((WORD)((((UINT_PTR)(value)) >> 16) & 0xFFFF))
#define MAKELONG(low, high) ((LONG)(((WORD)(low)) | (((DWORD)(WORD)(high)) << 16)))
#define MAKEWPARAM(low, high) ((WPARAM)(DWORD)MAKELONG(low, high))
#define MAKELPARAM(low, high) ((LPARAM)(DWORD)MAKELONG(low, high))
#define RGB(r, g, b) \
  ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(color) ((BYTE)(color))
#define GetGValue(color) ((BYTE)((color) >> 8))
#define GetBValue(color) ((BYTE)((color) >> 16))

/* ---- Window styles (dialog templates) --------------------------------------- */

#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_VSCROLL 0x00200000u
#define WS_HSCROLL 0x00100000u
#define WS_SYSMENU 0x00080000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define DS_SETFONT 0x0040u
#define DS_MODALFRAME 0x0080u

#define BS_PUSHBUTTON 0x0000u
#define BS_DEFPUSHBUTTON 0x0001u
#define BS_TYPEMASK 0x000Fu

#define SS_LEFT 0x0000u
#define SS_CENTER 0x0001u
#define SS_RIGHT 0x0002u
#define SS_BLACKFRAME 0x0007u
#define SS_GRAYFRAME 0x0008u
#define SS_WHITEFRAME 0x0009u
#define SS_ETCHEDHORZ 0x0010u
#define SS_ETCHEDVERT 0x0011u
#define SS_ETCHEDFRAME 0x0012u
#define SS_TYPEMASK 0x001Fu
#define SS_NOPREFIX 0x0080u
#define SS_SUNKEN 0x1000u

#define ES_LEFT 0x0000u
#define ES_AUTOHSCROLL 0x0080u

#define LBS_NOTIFY 0x0001u
#define LBS_SORT 0x0002u
#define LBS_NOINTEGRALHEIGHT 0x0100u

/* ---- Messages and notifications ------------------------------------------ */

#define WM_SETFOCUS 0x0007u
#define WM_KILLFOCUS 0x0008u
#define WM_SETTEXT 0x000Cu
#define WM_GETTEXT 0x000Du
#define WM_GETTEXTLENGTH 0x000Eu
#define WM_PAINT 0x000Fu
#define WM_CLOSE 0x0010u
#define WM_NEXTDLGCTL 0x0028u
#define WM_INITDIALOG 0x0110u
#define WM_COMMAND 0x0111u
#define WM_MOUSEMOVE 0x0200u
#define WM_LBUTTONDOWN 0x0201u
#define WM_LBUTTONUP 0x0202u
#define WM_LBUTTONDBLCLK 0x0203u

#define MK_LBUTTON 0x0001u

#define BN_CLICKED 0

#define LBN_ERRSPACE (-2)
#define LBN_SELCHANGE 1
#define LBN_DBLCLK 2
#define LBN_SETFOCUS 4
#define LBN_KILLFOCUS 5

#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300
#define EN_UPDATE 0x0400

#define LB_ADDSTRING 0x0180u
#define LB_INSERTSTRING 0x0181u
#define LB_DELETESTRING 0x0182u
#define LB_RESETCONTENT 0x0184u
#define LB_SETCURSEL 0x0186u
#define LB_GETCURSEL 0x0188u
#define LB_GETTEXT 0x0189u
#define LB_GETTEXTLEN 0x018Au
#define LB_GETCOUNT 0x018Bu
#define LB_GETTOPINDEX 0x018Eu
#define LB_FINDSTRINGEXACT 0x01A2u
#define LB_GETITEMDATA 0x0199u
#define LB_SETITEMDATA 0x019Au
#define LB_ERR (-1)

#define HELP_CONTEXT 0x0001u
#define HELP_QUIT 0x0002u
#define HELP_KEY 0x0101u

/* ---- Dialogs and windows --------------------------------------------------- */

/* Ends the modal dialog once the message being handled returns; the loop
 * of DialogBoxParamA then returns result. */
VTPLATFORM_API BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
VTPLATFORM_API HWND WINAPI GetDlgItem(HWND dialog, int id);
VTPLATFORM_API int WINAPI GetDlgCtrlID(HWND control);
/* Copies at most size - 1 characters and a terminating zero; returns the
 * characters copied. */
VTPLATFORM_API UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size);
VTPLATFORM_API BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
VTPLATFORM_API int WINAPI GetWindowTextA(HWND window, LPSTR text, int size);
VTPLATFORM_API BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text);
VTPLATFORM_API LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM first, LPARAM second);
VTPLATFORM_API LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM first,
                                                  LPARAM second);
/* Queues the message for the dialog's message loop. */
VTPLATFORM_API BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM first, LPARAM second);
VTPLATFORM_API HWND WINAPI GetFocus(void);
/* Returns the window that had the focus. */
VTPLATFORM_API HWND WINAPI SetFocus(HWND window);
VTPLATFORM_API BOOL WINAPI EnableWindow(HWND window, BOOL enable);
VTPLATFORM_API BOOL WINAPI IsWindowEnabled(HWND window);
VTPLATFORM_API BOOL WINAPI IsWindow(HWND window);
VTPLATFORM_API BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase);
/* Screen coordinates of the whole window. */
VTPLATFORM_API BOOL WINAPI GetWindowRect(HWND window, RECT* rect);
VTPLATFORM_API BOOL WINAPI GetClientRect(HWND window, RECT* rect);
VTPLATFORM_API BOOL WINAPI ClientToScreen(HWND window, POINT* point);
VTPLATFORM_API BOOL WINAPI ScreenToClient(HWND window, POINT* point);

/* ---- Painting and drawing ----------------------------------------------------
 * A device context draws into the client area of its window. The stand-in
 * has no pixels: what is drawn is recorded for the dialog in drawing order
 * (vtDialogDrawing), and an erasing BeginPaint clears the record, as erasing
 * the background would clear the screen. */

#define PS_SOLID 0

VTPLATFORM_API HDC WINAPI BeginPaint(HWND window, PAINTSTRUCT* paint);
VTPLATFORM_API BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint);
VTPLATFORM_API HDC WINAPI GetDC(HWND window);
VTPLATFORM_API int WINAPI ReleaseDC(HWND window, HDC deviceContext);
VTPLATFORM_API HWND WINAPI WindowFromDC(HDC deviceContext);
VTPLATFORM_API HPEN WINAPI CreatePen(int style, int width, COLORREF color);
VTPLATFORM_API HBRUSH WINAPI CreateSolidBrush(COLORREF color);
/* Returns the object of the same kind selected before. */
VTPLATFORM_API HGDIOBJ WINAPI SelectObject(HDC deviceContext, HGDIOBJ object);
VTPLATFORM_API BOOL WINAPI DeleteObject(HGDIOBJ object);
VTPLATFORM_API BOOL WINAPI MoveToEx(HDC deviceContext, int x, int y, POINT* previous);
/* Draws from the current position up to, not including, (x, y). */
VTPLATFORM_API BOOL WINAPI LineTo(HDC deviceContext, int x, int y);
VTPLATFORM_API int WINAPI FillRect(HDC deviceContext, const RECT* rect, HBRUSH brush);

/* ---- Help -------------------------------------------------------------------
 * No help viewer exists here: the request is handed to the observer the
 * hosting process installed (vtSetHelpObserver) and reported as done. */
VTPLATFORM_API BOOL WINAPI WinHelpA(HWND window, LPCSTR helpFile, UINT command, ULONG_PTR data);

/* ---- Profile files ------------------------------------------------------------
 * Initialisation files of "[section]" lines and "key=value" lines; section
 * and key names match without regard to case and surrounding blanks.
 * Writing changes only the line concerned: the file and the section are
 * created when missing, a key is replaced where it stands, a new key goes
 * after the last entry of its section, a null value removes the key, a
 * null key the whole section; every other byte stays as it was. */
VTPLATFORM_API BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value,
                                                      LPCSTR fileName);
/* With a section and key: the value (blanks and one pair of enclosing
 * quotes removed), or fallback when there is none. With a null key: the
 * section's keys, with a null section the section names, each ended by a
 * zero and the list by another. Returns the characters copied without the
 * final zero: size - 1 when a value was cut, size - 2 when a list was. */
VTPLATFORM_API DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback,
                                                     LPSTR buffer, DWORD size, LPCSTR fileName);

/* ---- Formatting ---------------------------------------------------------------
 * printf formatting into a buffer of at most 1024 characters and a zero,
 * as wsprintfA; returns the characters written. The C library does the
 * conversions, so each argument must match its conversion on this
 * platform (%ld wants a long). */
VTPLATFORM_API int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...);

#ifdef __cplusplus
}
#endif

#endif /* VORTIGEN_PLATFORM_WIN32DIALOGS_H */

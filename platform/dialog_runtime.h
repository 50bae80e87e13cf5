// The dialog runtime's own records and the helpers its parts share: the
// session and message loop (dialog_session.cpp), the controls and their
// messages (dialog_windows.cpp), device contexts and drawing
// (dialog_drawing.cpp) and the functions that drive and inspect a dialog
// from outside (dialog_driver.cpp). Private to vtplatform.
#ifndef VORTIGEN_PLATFORM_DIALOG_RUNTIME_H
#define VORTIGEN_PLATFORM_DIALOG_RUNTIME_H

#include <deque>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "vtplatform.h"

namespace vtplatform {

struct Session;

struct Message {
  HWND window;
  UINT message;
  WPARAM first;
  LPARAM second;
  std::string text;  // what a person typed (InputType)
};

// Input from the driver. It waits in the queue like a person's input and
// is carried out when the loop reaches it: the control then acts and tells
// its dialog at once, as controls do.
enum InputMessage : UINT {
  InputClick = 0x7F01,
  InputFocus,
  InputType,
  InputSelect,
  InputDoubleClickItem,
  InputEnter
};

struct ListItem {
  std::string text;
  LPARAM data;
};

}  // namespace vtplatform

struct VtWindow {
  vtplatform::Session* session;
  bool isDialog;
  int id;
  std::string className;
  std::string text;
  DWORD style;
  RECT rect;  // a control's, in client coordinates of its dialog
  bool enabled;
  std::vector<vtplatform::ListItem> items;  // list boxes
  int selection = LB_ERR;
};

struct VtGdiObject {
  enum Kind { Pen, Brush } kind;
  COLORREF color;
  int width;
};

struct VtDeviceContext {
  VtWindow* window;
  HPEN pen;
  HBRUSH brush;
  POINT position;
};

namespace vtplatform {

struct Session {
  VtWindow dialog;
  std::vector<std::unique_ptr<VtWindow>> controls;
  DLGPROC procedure = nullptr;
  std::deque<Message> queue;
  bool ended = false;
  INT_PTR result = 0;
  bool needsPaint = true;
  bool eraseOnPaint = true;
  bool buttonDown = false;
  RECT windowRect{};  // screen coordinates
  POINT clientOrigin{};
  LONG clientWidth = 0;
  LONG clientHeight = 0;
  int baseUnitX = 0;
  int baseUnitY = 0;
  std::vector<VtDrawing> drawings;
  unsigned long activity = 0;  // input and messages seen, to tell a stuck script
};

struct Runtime {
  std::vector<Session*> sessions;  // open dialogs, innermost last
  std::unordered_set<const VtWindow*> windows;
  std::unordered_set<const VtDeviceContext*> deviceContexts;
  std::unordered_set<const VtGdiObject*> gdiObjects;
  HWND focus = nullptr;
  VtDialogIdleHandler idleHandler = nullptr;
  void* idleContext = nullptr;
  VtHelpObserver helpObserver = nullptr;
};

Runtime& runtime();

// ---- Looking up windows (dialog_session.cpp) ---------------------------------------

// The window behind a handle, or null for a handle that is not (or no
// longer) a window of an open dialog.
VtWindow* live(HWND window);
VtWindow* liveDialog(HWND window);
// The open dialog the input functions may act on: the innermost one.
Session* openSession(HWND dialog);
VtWindow* controlOf(Session& session, int id);
bool hasClass(const VtWindow* window, const char* className);
bool isPushButton(const VtWindow* window);

// ---- Messages (dialog_session.cpp) -------------------------------------------------

// Sends a message to the dialog procedure at once.
INT_PTR callProcedure(Session& session, UINT message, WPARAM first, LPARAM second);
// Queues a message for the loop.
void postTo(Session& session, HWND window, UINT message, WPARAM first, LPARAM second,
            std::string text = {});

// ---- Controls (dialog_windows.cpp) -------------------------------------------------

// Gives a window the keyboard focus, telling the controls that lose and
// gain it; returns the window that had it.
HWND moveFocus(HWND window);
// Carries out one queued message or input.
void dispatch(Session& session, const Message& message);

// ---- Drawing (dialog_drawing.cpp) --------------------------------------------------

// A point in a window's client coordinates in its dialog's client
// coordinates.
POINT dialogPoint(const VtWindow& window, LONG x, LONG y);

}  // namespace vtplatform

#endif

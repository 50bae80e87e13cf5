// The functions that drive a dialog from outside, as a person would (the
// input waits in the dialog's queue until the loop reaches it), and those
// that look at it: its frame, its controls and what has been drawn.
#include <cstdio>
#include <cstring>

#include "dialog_runtime.h"

using namespace vtplatform;

extern "C" {

// ---- Driving and looking at a dialog ----------------------------------------------------

void vtSetDialogIdleHandler(VtDialogIdleHandler handler, void* context) {
  runtime().idleHandler = handler;
  runtime().idleContext = context;
}

VtHelpObserver vtSetHelpObserver(VtHelpObserver observer) {
  VtHelpObserver previous = runtime().helpObserver;
  runtime().helpObserver = observer;
  return previous;
}

BOOL vtDialogClick(HWND dialog, int id) {
  Session* s = openSession(dialog);
  VtWindow* button = s != nullptr ? controlOf(*s, id) : nullptr;
  if (!isPushButton(button) || !button->enabled) return FALSE;
  postTo(*s, button, InputClick, 0, 0);
  return TRUE;
}

BOOL vtDialogPressEnter(HWND dialog) {
  Session* s = openSession(dialog);
  if (s == nullptr) return FALSE;
  postTo(*s, &s->dialog, InputEnter, 0, 0);
  return TRUE;
}

BOOL vtDialogPressEscape(HWND dialog) {
  Session* s = openSession(dialog);
  if (s == nullptr) return FALSE;
  postTo(*s, &s->dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
         reinterpret_cast<LPARAM>(controlOf(*s, IDCANCEL)));
  return TRUE;
}

BOOL vtDialogCloseBox(HWND dialog) {
  Session* s = openSession(dialog);
  if (s == nullptr) return FALSE;
  postTo(*s, &s->dialog, WM_CLOSE, 0, 0);
  return TRUE;
}

BOOL vtDialogMouse(HWND dialog, UINT message, int x, int y) {
  Session* s = openSession(dialog);
  if (s == nullptr) return FALSE;
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: s->buttonDown = true; break;
    case WM_LBUTTONUP: s->buttonDown = false; break;
    case WM_MOUSEMOVE: break;
    default: return FALSE;
  }
  postTo(*s, &s->dialog, message, s->buttonDown ? MK_LBUTTON : 0,
         MAKELPARAM(static_cast<short>(x), static_cast<short>(y)));
  return TRUE;
}

BOOL vtDialogFocus(HWND dialog, int id) {
  Session* s = openSession(dialog);
  VtWindow* control = s != nullptr ? controlOf(*s, id) : nullptr;
  if (control == nullptr || !control->enabled) return FALSE;
  postTo(*s, control, InputFocus, 0, 0);
  return TRUE;
}

BOOL vtDialogType(HWND dialog, int id, const char* text) {
  Session* s = openSession(dialog);
  VtWindow* edit = s != nullptr ? controlOf(*s, id) : nullptr;
  if (!hasClass(edit, "EDIT") || !edit->enabled) return FALSE;
  postTo(*s, edit, InputType, 0, 0, text != nullptr ? text : "");
  return TRUE;
}

BOOL vtDialogSelectListItem(HWND dialog, int id, int index) {
  Session* s = openSession(dialog);
  VtWindow* list = s != nullptr ? controlOf(*s, id) : nullptr;
  if (!hasClass(list, "LISTBOX") || !list->enabled || index < 0) return FALSE;
  postTo(*s, list, InputSelect, static_cast<WPARAM>(index), 0);
  return TRUE;
}

BOOL vtDialogDoubleClickListItem(HWND dialog, int id, int index) {
  Session* s = openSession(dialog);
  VtWindow* list = s != nullptr ? controlOf(*s, id) : nullptr;
  if (!hasClass(list, "LISTBOX") || !list->enabled || index < 0) return FALSE;
  postTo(*s, list, InputDoubleClickItem, static_cast<WPARAM>(index), 0);
  return TRUE;
}

BOOL vtDialogView(HWND dialog, VtDialogView* view) {
  VtWindow* w = liveDialog(dialog);
  if (w == nullptr || view == nullptr) return FALSE;
  const Session& s = *w->session;
  std::memset(view, 0, sizeof *view);
  std::snprintf(view->caption, sizeof view->caption, "%s", w->text.c_str());
  view->window = s.windowRect;
  view->client = RECT{s.clientOrigin.x, s.clientOrigin.y, s.clientOrigin.x + s.clientWidth,
                      s.clientOrigin.y + s.clientHeight};
  view->controlCount = static_cast<int>(s.controls.size());
  view->baseUnitX = s.baseUnitX;
  view->baseUnitY = s.baseUnitY;
  return TRUE;
}

BOOL vtDialogControl(HWND dialog, int index, VtControlView* view) {
  VtWindow* w = liveDialog(dialog);
  if (w == nullptr || view == nullptr || index < 0 ||
      static_cast<size_t>(index) >= w->session->controls.size()) {
    return FALSE;
  }
  const VtWindow& control = *w->session->controls[static_cast<size_t>(index)];
  std::memset(view, 0, sizeof *view);
  view->window = const_cast<VtWindow*>(&control);
  view->id = control.id;
  std::snprintf(view->className, sizeof view->className, "%s", control.className.c_str());
  std::snprintf(view->text, sizeof view->text, "%s", control.text.c_str());
  view->style = control.style;
  view->rect = control.rect;
  view->enabled = control.enabled ? TRUE : FALSE;
  view->focused = runtime().focus == &control ? TRUE : FALSE;
  return TRUE;
}

int vtDialogDrawingCount(HWND dialog) {
  VtWindow* w = liveDialog(dialog);
  return w != nullptr ? static_cast<int>(w->session->drawings.size()) : 0;
}

BOOL vtDialogDrawing(HWND dialog, int index, VtDrawing* drawing) {
  VtWindow* w = liveDialog(dialog);
  if (w == nullptr || drawing == nullptr || index < 0 ||
      static_cast<size_t>(index) >= w->session->drawings.size()) {
    return FALSE;
  }
  *drawing = w->session->drawings[static_cast<size_t>(index)];
  return TRUE;
}

}  // extern "C"
// The dialog runtime's controls: the keyboard focus and what it tells the
// controls, the messages edit boxes and list boxes understand, the dialog
// manager's own handling of messages and of a person's input, and the
// window functions of the Windows API over them.
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "dialog_runtime.h"

using namespace vtplatform;

namespace {

// A control tells its dialog about something: WM_COMMAND with its id and
// the notification code, sent at once.
void notifyDialog(VtWindow& control, int code) {
  Session& session = *control.session;
  if (session.ended) return;
  callProcedure(session, WM_COMMAND, MAKEWPARAM(control.id, code),
                reinterpret_cast<LPARAM>(&control));
}

void notifyFocus(VtWindow* window, bool gained) {
  if (window == nullptr || window->isDialog) return;
  if (hasClass(window, "EDIT")) notifyDialog(*window, gained ? EN_SETFOCUS : EN_KILLFOCUS);
  if (hasClass(window, "LISTBOX") && (window->style & LBS_NOTIFY) != 0) {
    notifyDialog(*window, gained ? LBN_SETFOCUS : LBN_KILLFOCUS);
  }
}

}  // namespace

namespace vtplatform {

HWND moveFocus(HWND window) {
  Runtime& r = runtime();
  HWND previous = r.focus;
  if (window == previous) return previous;
  r.focus = window;
  notifyFocus(live(previous), false);
  // A focus notification may have moved the focus on; only the window
  // that still has it hears that it got it.
  if (r.focus == window) notifyFocus(window, true);
  return previous;
}

}  // namespace vtplatform

namespace {

// ---- Controls' own message handling ---------------------------------------------

int compareListTexts(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str());
}

LRESULT copyText(const std::string& text, WPARAM size, LPARAM buffer) {
  char* out = reinterpret_cast<char*>(buffer);
  if (out == nullptr || size == 0) return 0;
  const size_t copied = std::min<size_t>(text.size(), size - 1);
  std::memcpy(out, text.data(), copied);
  out[copied] = '\0';
  return static_cast<LRESULT>(copied);
}

LRESULT listBoxMessage(VtWindow& list, UINT message, WPARAM first, LPARAM second) {
  auto& items = list.items;
  const auto count = static_cast<LRESULT>(items.size());
  const auto index = static_cast<LRESULT>(static_cast<INT_PTR>(first));
  const bool inRange = index >= 0 && index < count;
  switch (message) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
      const char* text = reinterpret_cast<const char*>(second);
      ListItem item{text != nullptr ? text : "", 0};
      size_t at = items.size();
      if (message == LB_ADDSTRING && (list.style & LBS_SORT) != 0) {
        at = static_cast<size_t>(std::upper_bound(items.begin(), items.end(), item,
                                                  [](const ListItem& a, const ListItem& b) {
                                                    return compareListTexts(a.text, b.text) < 0;
                                                  }) -
                                 items.begin());
      } else if (message == LB_INSERTSTRING && index != -1) {
        if (!inRange && index != count) return LB_ERR;
        at = static_cast<size_t>(index);
      }
      items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
      if (list.selection != LB_ERR && static_cast<size_t>(list.selection) >= at) ++list.selection;
      return static_cast<LRESULT>(at);
    }
    case LB_DELETESTRING:
      if (!inRange) return LB_ERR;
      items.erase(items.begin() + index);
      if (list.selection == index) {
        list.selection = LB_ERR;
      } else if (list.selection > index) {
        --list.selection;
      }
      return static_cast<LRESULT>(items.size());
    case LB_RESETCONTENT:
      items.clear();
      list.selection = LB_ERR;
      return 0;
    case LB_SETCURSEL:
      list.selection = inRange ? static_cast<int>(index) : LB_ERR;
      return inRange || index == -1 ? (inRange ? index : 0) : LB_ERR;
    case LB_GETCURSEL: return list.selection;
    case LB_GETCOUNT: return count;
    case LB_GETTOPINDEX: return 0;
    case LB_GETTEXTLEN: return inRange ? static_cast<LRESULT>(items[index].text.size()) : LB_ERR;
    case LB_GETTEXT: {
      // As on Windows, the buffer must hold LB_GETTEXTLEN characters and
      // a zero.
      if (!inRange || second == 0) return LB_ERR;
      const std::string& text = items[index].text;
      std::memcpy(reinterpret_cast<char*>(second), text.c_str(), text.size() + 1);
      return static_cast<LRESULT>(text.size());
    }
    case LB_GETITEMDATA: return inRange ? items[index].data : LB_ERR;
    case LB_SETITEMDATA:
      if (!inRange) return LB_ERR;
      items[index].data = second;
      return TRUE;
    case LB_FINDSTRINGEXACT: {
      const char* text = reinterpret_cast<const char*>(second);
      if (text == nullptr || count == 0) return LB_ERR;
      // The search starts after the given item and wraps around.
      const LRESULT start = inRange ? index + 1 : 0;
      for (LRESULT i = 0; i < count; ++i) {
        const LRESULT at = (start + i) % count;
        if (strcasecmp(items[at].text.c_str(), text) == 0) return at;
      }
      return LB_ERR;
    }
    default: return 0;
  }
}

LRESULT windowMessage(VtWindow& window, UINT message, WPARAM first, LPARAM second) {
  Session& session = *window.session;
  switch (message) {
    case WM_SETTEXT: {
      const char* text = reinterpret_cast<const char*>(second);
      window.text = text != nullptr ? text : "";
      ++session.activity;
      // A single-line edit box reports a changed text, however it changed.
      if (hasClass(&window, "EDIT")) {
        notifyDialog(window, EN_UPDATE);
        notifyDialog(window, EN_CHANGE);
      }
      return TRUE;
    }
    case WM_GETTEXT: return copyText(window.text, first, second);
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(window.text.size());
    default: break;
  }
  if (window.isDialog) return callProcedure(session, message, first, second);
  if (hasClass(&window, "LISTBOX")) return listBoxMessage(window, message, first, second);
  return 0;
}

bool canTakeFocus(const VtWindow& control) {
  return (control.style & WS_TABSTOP) != 0 && (control.style & WS_VISIBLE) != 0 && control.enabled;
}

// WM_NEXTDLGCTL: the focus to a given control, or to the next or previous
// tab stop.
void nextDialogControl(Session& session, WPARAM first, LPARAM second) {
  if (LOWORD(second) != 0) {
    VtWindow* control = live(reinterpret_cast<HWND>(first));
    if (control != nullptr && control->session == &session && !control->isDialog)
      moveFocus(control);
    return;
  }
  auto& controls = session.controls;
  const auto count = static_cast<std::ptrdiff_t>(controls.size());
  if (count == 0) return;
  std::ptrdiff_t at = -1;
  for (std::ptrdiff_t i = 0; i < count; ++i) {
    if (controls[static_cast<size_t>(i)].get() == runtime().focus) at = i;
  }
  const std::ptrdiff_t step = first != 0 ? -1 : 1;
  for (std::ptrdiff_t n = 1; n <= count; ++n) {
    const std::ptrdiff_t i = ((at + step * n) % count + count) % count;
    if (canTakeFocus(*controls[static_cast<size_t>(i)])) {
      moveFocus(controls[static_cast<size_t>(i)].get());
      return;
    }
  }
}

// What the dialog manager does with a message the dialog procedure left
// alone (returned FALSE for).
void defaultDialogHandling(Session& session, const Message& message) {
  if (message.message == WM_CLOSE) {
    postTo(session, &session.dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
           reinterpret_cast<LPARAM>(controlOf(session, IDCANCEL)));
  } else if (message.message == WM_NEXTDLGCTL) {
    nextDialogControl(session, message.first, message.second);
  }
}

// The Enter key, as the dialog manager reads it: the push button that has
// the focus, else the default push button, else IDOK.
void pressEnter(Session& session) {
  int id = IDOK;
  VtWindow* focused = live(runtime().focus);
  if (focused != nullptr && focused->session == &session && isPushButton(focused)) {
    id = focused->id;
  } else {
    for (auto& control : session.controls) {
      if (isPushButton(control.get()) && (control->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
        id = control->id;
        break;
      }
    }
  }
  VtWindow* button = controlOf(session, id);
  if (button != nullptr && !button->enabled) return;
  callProcedure(session, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void performInput(Session& session, VtWindow& window, const Message& input) {
  if (input.message == InputEnter) {
    pressEnter(session);
    return;
  }
  if (!window.enabled) return;
  moveFocus(&window);
  if (session.ended) return;
  switch (input.message) {
    case InputClick: notifyDialog(window, BN_CLICKED); break;
    case InputType:
      windowMessage(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(input.text.c_str()));
      break;
    case InputSelect:
    case InputDoubleClickItem: {
      const auto index = static_cast<size_t>(input.first);
      if (index >= window.items.size()) return;
      window.selection = static_cast<int>(index);
      if ((window.style & LBS_NOTIFY) == 0) return;
      notifyDialog(window, LBN_SELCHANGE);
      if (input.message == InputDoubleClickItem && !session.ended) notifyDialog(window, LBN_DBLCLK);
      break;
    }
    default: break;
  }
}

}  // namespace

namespace vtplatform {

void dispatch(Session& session, const Message& message) {
  VtWindow* window = live(message.window);
  if (window == nullptr || window->session != &session) return;  // gone meanwhile
  if (message.message >= InputClick && message.message <= InputEnter) {
    performInput(session, *window, message);
    return;
  }
  if (window->isDialog && message.message != WM_SETTEXT && message.message != WM_GETTEXT &&
      message.message != WM_GETTEXTLENGTH) {
    const INT_PTR handled = callProcedure(session, message.message, message.first, message.second);
    if (!handled) defaultDialogHandling(session, message);
    return;
  }
  windowMessage(*window, message.message, message.first, message.second);
}

}  // namespace vtplatform

extern "C" {

// ---- Windows and controls ------------------------------------------------------------

HWND WINAPI GetDlgItem(HWND dialog, int id) {
  VtWindow* w = liveDialog(dialog);
  return w != nullptr ? controlOf(*w->session, id) : nullptr;
}

int WINAPI GetDlgCtrlID(HWND control) {
  VtWindow* w = live(control);
  return w != nullptr && !w->isDialog ? w->id : 0;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size) {
  if (text == nullptr || size <= 0) return 0;
  text[0] = '\0';
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return 0;
  return static_cast<UINT>(windowMessage(*control, WM_GETTEXT, static_cast<WPARAM>(size),
                                         reinterpret_cast<LPARAM>(text)));
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return FALSE;
  return static_cast<BOOL>(windowMessage(*control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

int WINAPI GetWindowTextA(HWND window, LPSTR text, int size) {
  if (text == nullptr || size <= 0) return 0;
  text[0] = '\0';
  VtWindow* w = live(window);
  if (w == nullptr) return 0;
  return static_cast<int>(
      copyText(w->text, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
}

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text) {
  VtWindow* w = live(window);
  if (w == nullptr) return FALSE;
  return static_cast<BOOL>(windowMessage(*w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM first, LPARAM second) {
  VtWindow* w = live(window);
  if (w == nullptr || w->session->ended) return 0;
  return windowMessage(*w, message, first, second);
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM first, LPARAM second) {
  return SendMessageA(GetDlgItem(dialog, id), message, first, second);
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM first, LPARAM second) {
  VtWindow* w = live(window);
  if (w == nullptr || w->session->ended) return FALSE;
  postTo(*w->session, w, message, first, second);
  return TRUE;
}

HWND WINAPI GetFocus(void) { return live(runtime().focus); }

HWND WINAPI SetFocus(HWND window) {
  if (window != nullptr && live(window) == nullptr) return nullptr;
  return live(moveFocus(window));
}

BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
  VtWindow* w = live(window);
  if (w == nullptr) return FALSE;
  const BOOL wasDisabled = w->enabled ? FALSE : TRUE;
  w->enabled = enable != FALSE;
  if (!w->enabled && runtime().focus == w) runtime().focus = nullptr;
  return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND window) {
  VtWindow* w = live(window);
  return w != nullptr && w->enabled ? TRUE : FALSE;
}

BOOL WINAPI IsWindow(HWND window) { return live(window) != nullptr ? TRUE : FALSE; }

// The whole client area is painted again; the stand-in keeps no finer
// update region.
BOOL WINAPI InvalidateRect(HWND window, const RECT*, BOOL erase) {
  VtWindow* w = live(window);
  if (w == nullptr) return FALSE;
  w->session->needsPaint = true;
  if (erase) w->session->eraseOnPaint = true;
  return TRUE;
}

BOOL WINAPI GetWindowRect(HWND window, RECT* rect) {
  VtWindow* w = live(window);
  if (w == nullptr || rect == nullptr) return FALSE;
  const Session& s = *w->session;
  if (w->isDialog) {
    *rect = s.windowRect;
  } else {
    *rect = RECT{w->rect.left + s.clientOrigin.x, w->rect.top + s.clientOrigin.y,
                 w->rect.right + s.clientOrigin.x, w->rect.bottom + s.clientOrigin.y};
  }
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND window, RECT* rect) {
  VtWindow* w = live(window);
  if (w == nullptr || rect == nullptr) return FALSE;
  *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

BOOL WINAPI ClientToScreen(HWND window, POINT* point) {
  VtWindow* w = live(window);
  if (w == nullptr || point == nullptr) return FALSE;
  const POINT at = dialogPoint(*w, point->x, point->y);
  point->x = at.x + w->session->clientOrigin.x;
  point->y = at.y + w->session->clientOrigin.y;
  return TRUE;
}

BOOL WINAPI ScreenToClient(HWND window, POINT* point) {
  VtWindow* w = live(window);
  if (w == nullptr || point == nullptr) return FALSE;
  const POINT origin = dialogPoint(*w, 0, 0);
  point->x -= origin.x + w->session->clientOrigin.x;
  point->y -= origin.y + w->session->clientOrigin.y;
  return TRUE;
}

}  // extern "C"

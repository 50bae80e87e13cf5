// Linux stand-in for the Windows dialog manager: modal dialogs built from
// the templates a library carries, their controls, a message queue, the
// keyboard focus, device contexts and a little drawing.
//
// There is no screen. A dialog lives for the length of its DialogBoxParamA
// call; its loop dispatches queued messages, then paints, then asks the
// process's idle handler (vtSetDialogIdleHandler) for the next input, the
// way a person would give it. Everything runs on the thread of the loop;
// like the Windows dialog manager, this code takes no locks.
#include <dlfcn.h>
#include <strings.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "vtplatform.h"

struct VtWindow;

namespace {

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

}  // namespace

struct VtWindow {
  Session* session;
  bool isDialog;
  int id;
  std::string className;
  std::string text;
  DWORD style;
  RECT rect;  // a control's, in client coordinates of its dialog
  bool enabled;
  std::vector<ListItem> items;  // list boxes
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

namespace {

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

// Frame and caption of a modal dialog frame, in pixels.
const LONG frameThickness = 3;
const LONG captionHeight = 19;

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

Runtime& runtime() {
  static Runtime instance;
  return instance;
}

VtGdiObject defaultPen{VtGdiObject::Pen, RGB(0, 0, 0), 1};
VtGdiObject defaultBrush{VtGdiObject::Brush, RGB(255, 255, 255), 0};

VtWindow* live(HWND window) {
  return runtime().windows.count(window) != 0 ? window : nullptr;
}

VtDeviceContext* live(HDC deviceContext) {
  return runtime().deviceContexts.count(deviceContext) != 0 ? deviceContext : nullptr;
}

VtGdiObject* live(HGDIOBJ object) {
  if (object == &defaultPen || object == &defaultBrush) return object;
  return runtime().gdiObjects.count(object) != 0 ? object : nullptr;
}

VtWindow* liveDialog(HWND window) {
  VtWindow* w = live(window);
  return w != nullptr && w->isDialog ? w : nullptr;
}

// The open dialog the input functions may act on: the innermost one.
Session* openSession(HWND dialog) {
  Runtime& r = runtime();
  VtWindow* w = liveDialog(dialog);
  if (w == nullptr || r.sessions.empty() || r.sessions.back() != w->session) return nullptr;
  return w->session->ended ? nullptr : w->session;
}

VtWindow* controlOf(Session& session, int id) {
  for (auto& control : session.controls) {
    if (control->id == id) return control.get();
  }
  return nullptr;
}

bool hasClass(const VtWindow* window, const char* className) {
  return window != nullptr && strcasecmp(window->className.c_str(), className) == 0;
}

bool isPushButton(const VtWindow* window) {
  if (!hasClass(window, "BUTTON")) return false;
  const DWORD type = window->style & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

LONG mulDiv(LONG value, LONG numerator, LONG denominator) {
  // Rounds half away from zero, as MulDiv does.
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<LONG>(product >= 0 ? (product + half) / denominator
                                        : (product - half) / denominator);
}

// The dialog base units of a template font: average character width and
// character height in pixels at 96 dots per inch. No fonts are measured
// here; the font the templates use has its known values, any other font
// is estimated from its height.
void fontBaseUnits(const char* fontName, WORD pointSize, int& unitX, int& unitY) {
  if (fontName != nullptr && strcasecmp(fontName, "MS Sans Serif") == 0 && pointSize == 8) {
    unitX = 6;
    unitY = 13;
    return;
  }
  const int points = pointSize != 0 ? pointSize : 8;
  unitY = (points * 96 + 36) / 72 + 2;
  unitX = (unitY * 6 + 6) / 13;
}

const VtDialogTemplate* findDialogTemplate(HINSTANCE module, LPCSTR name) {
  if (module == nullptr || name == nullptr) return nullptr;
  const auto* table =
      static_cast<const VtModuleResource*>(dlsym(module, VT_MODULE_RESOURCES_SYMBOL));
  if (table == nullptr) return nullptr;
  for (; table->type != 0; ++table) {
    if (table->type != VT_RESOURCE_DIALOG || table->data == nullptr) continue;
    const bool matches =
        IS_INTRESOURCE(name)
            ? table->name == nullptr && table->id == static_cast<WORD>(reinterpret_cast<UINT_PTR>(name))
            : table->name != nullptr && strcasecmp(table->name, name) == 0;
    if (matches) return static_cast<const VtDialogTemplate*>(table->data);
  }
  return nullptr;
}

INT_PTR callProcedure(Session& session, UINT message, WPARAM first, LPARAM second) {
  ++session.activity;
  return session.procedure(&session.dialog, message, first, second);
}

void postTo(Session& session, HWND window, UINT message, WPARAM first, LPARAM second,
            std::string text = {}) {
  ++session.activity;
  session.queue.push_back(Message{window, message, first, second, std::move(text)});
}

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
        at = static_cast<size_t>(
            std::upper_bound(items.begin(), items.end(), item,
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
    case LB_GETCURSEL:
      return list.selection;
    case LB_GETCOUNT:
      return count;
    case LB_GETTOPINDEX:
      return 0;
    case LB_GETTEXTLEN:
      return inRange ? static_cast<LRESULT>(items[index].text.size()) : LB_ERR;
    case LB_GETTEXT: {
      // As on Windows, the buffer must hold LB_GETTEXTLEN characters and
      // a zero.
      if (!inRange || second == 0) return LB_ERR;
      const std::string& text = items[index].text;
      std::memcpy(reinterpret_cast<char*>(second), text.c_str(), text.size() + 1);
      return static_cast<LRESULT>(text.size());
    }
    case LB_GETITEMDATA:
      return inRange ? items[index].data : LB_ERR;
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
    default:
      return 0;
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
    case WM_GETTEXT:
      return copyText(window.text, first, second);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(window.text.size());
    default:
      break;
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
    if (control != nullptr && control->session == &session && !control->isDialog) moveFocus(control);
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
    case InputClick:
      notifyDialog(window, BN_CLICKED);
      break;
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
    default:
      break;
  }
}

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

// ---- Building and running a dialog --------------------------------------------

RECT dialogUnitsToPixels(const Session& session, short x, short y, short width, short height) {
  return RECT{mulDiv(x, session.baseUnitX, 4), mulDiv(y, session.baseUnitY, 8),
              mulDiv(x + width, session.baseUnitX, 4), mulDiv(y + height, session.baseUnitY, 8)};
}

void buildSession(Session& session, const VtDialogTemplate& layout, HWND owner,
                  DLGPROC procedure) {
  Runtime& r = runtime();
  session.procedure = procedure;
  fontBaseUnits(layout.fontName, layout.pointSize, session.baseUnitX, session.baseUnitY);

  const RECT client = dialogUnitsToPixels(session, layout.x, layout.y, layout.width, layout.height);
  POINT origin{client.left, client.top};
  if (VtWindow* ownerWindow = live(owner)) {
    // A dialog's position counts from its owner's client area.
    ClientToScreen(ownerWindow, &origin);
  }
  session.clientWidth = client.right - client.left;
  session.clientHeight = client.bottom - client.top;
  session.windowRect = RECT{origin.x, origin.y,
                            origin.x + session.clientWidth + 2 * frameThickness,
                            origin.y + session.clientHeight + 2 * frameThickness + captionHeight};
  session.clientOrigin = POINT{origin.x + frameThickness, origin.y + frameThickness + captionHeight};

  session.dialog = VtWindow{&session, true, 0, "#32770",
                            layout.caption != nullptr ? layout.caption : "",
                            layout.style, RECT{0, 0, session.clientWidth, session.clientHeight},
                            (layout.style & WS_DISABLED) == 0, {}, LB_ERR};
  r.windows.insert(&session.dialog);
  for (int i = 0; i < layout.itemCount; ++i) {
    const VtDialogItemTemplate& item = layout.items[i];
    auto control = std::make_unique<VtWindow>(VtWindow{
        &session, false, item.id, item.className != nullptr ? item.className : "STATIC",
        item.text != nullptr ? item.text : "", item.style,
        dialogUnitsToPixels(session, item.x, item.y, item.width, item.height),
        (item.style & WS_DISABLED) == 0, {}, LB_ERR});
    r.windows.insert(control.get());
    session.controls.push_back(std::move(control));
  }
}

void tearDown(Session& session) {
  Runtime& r = runtime();
  for (auto it = r.deviceContexts.begin(); it != r.deviceContexts.end();) {
    if ((*it)->window->session == &session) {
      delete *it;
      it = r.deviceContexts.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& control : session.controls) r.windows.erase(control.get());
  r.windows.erase(&session.dialog);
}

HWND firstTabStop(Session& session) {
  for (auto& control : session.controls) {
    if ((control->style & WS_TABSTOP) != 0 && (control->style & WS_VISIBLE) != 0 &&
        control->enabled) {
      return control.get();
    }
  }
  return nullptr;
}

// How many times in a row an idle handler may ask to go on without giving
// any input before its script counts as run out.
const int idleRoundsWithoutInput = 1000;

void runLoop(Session& session) {
  Runtime& r = runtime();
  bool closeBoxTried = false;
  int idleRounds = 0;
  while (!session.ended) {
    if (!session.queue.empty()) {
      const Message message = session.queue.front();
      session.queue.pop_front();
      dispatch(session, message);
      continue;
    }
    if (session.needsPaint) {
      session.needsPaint = false;
      callProcedure(session, WM_PAINT, 0, 0);
      continue;
    }
    const unsigned long before = session.activity;
    const bool more = r.idleHandler != nullptr && r.idleHandler(&session.dialog, r.idleContext) != 0;
    if (session.ended) break;
    if (more) {
      idleRounds = session.activity != before ? 0 : idleRounds + 1;
      if (idleRounds < idleRoundsWithoutInput) continue;
    }
    if (!closeBoxTried) {
      closeBoxTried = true;
      vtDialogCloseBox(&session.dialog);
      continue;
    }
    std::fprintf(stderr,
                 "vtplatform: the dialog \"%s\" did not end on its close box and its script has "
                 "run out; it is ended with 0.\n",
                 session.dialog.text.c_str());
    session.ended = true;
    session.result = 0;
  }
}

// ---- Drawing -------------------------------------------------------------------

POINT dialogPoint(const VtWindow& window, LONG x, LONG y) {
  if (window.isDialog) return POINT{x, y};
  return POINT{x + window.rect.left, y + window.rect.top};
}

bool inside(const RECT& outer, const RECT& inner) {
  return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
         inner.bottom <= outer.bottom;
}

RECT boundsOf(const VtDrawing& drawing) {
  const RECT& a = drawing.area;
  if (drawing.kind == VT_DRAW_FILL) return a;
  return RECT{std::min(a.left, a.right), std::min(a.top, a.bottom), std::max(a.left, a.right) + 1,
              std::max(a.top, a.bottom) + 1};
}

void record(Session& session, const VtDrawing& drawing) {
  if (drawing.kind == VT_DRAW_FILL) {
    // A fill hides whatever lay wholly beneath it: forget that, so that
    // the record of a dialog redrawn again and again does not grow.
    auto& d = session.drawings;
    d.erase(std::remove_if(d.begin(), d.end(),
                           [&](const VtDrawing& earlier) {
                             return inside(drawing.area, boundsOf(earlier));
                           }),
            d.end());
  }
  session.drawings.push_back(drawing);
}

HDC newDeviceContext(VtWindow& window) {
  auto* deviceContext =
      new VtDeviceContext{&window, &defaultPen, &defaultBrush, POINT{0, 0}};
  runtime().deviceContexts.insert(deviceContext);
  return deviceContext;
}

}  // namespace

extern "C" {

// ---- The modal dialog -------------------------------------------------------------

INT_PTR WINAPI DialogBoxParamA(HINSTANCE module, LPCSTR templateName, HWND owner,
                               DLGPROC procedure, LPARAM initParam) {
  const VtDialogTemplate* layout = findDialogTemplate(module, templateName);
  if (layout == nullptr || procedure == nullptr) return -1;

  Runtime& r = runtime();
  auto session = std::make_unique<Session>();
  buildSession(*session, *layout, owner, procedure);
  r.sessions.push_back(session.get());
  const HWND focusBefore = r.focus;

  // As the dialog manager does: WM_INITDIALOG names the control that is to
  // get the focus, and a TRUE answer gives it the focus.
  const HWND firstControl = firstTabStop(*session);
  const INT_PTR focusDefault = callProcedure(*session, WM_INITDIALOG,
                                             reinterpret_cast<WPARAM>(firstControl), initParam);
  if (!session->ended && focusDefault && firstControl != nullptr) moveFocus(firstControl);

  runLoop(*session);

  const INT_PTR result = session->result;
  if (VtWindow* focused = live(r.focus); focused != nullptr && focused->session == session.get()) {
    r.focus = live(focusBefore);
  }
  tearDown(*session);
  r.sessions.pop_back();
  return result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  VtWindow* w = liveDialog(dialog);
  if (w == nullptr) return FALSE;
  w->session->ended = true;
  w->session->result = result;
  return TRUE;
}

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
  return static_cast<UINT>(
      windowMessage(*control, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
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
  return static_cast<int>(copyText(w->text, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
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

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM first,
                                   LPARAM second) {
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

// ---- Painting and drawing -----------------------------------------------------------

HDC WINAPI BeginPaint(HWND window, PAINTSTRUCT* paint) {
  VtWindow* w = live(window);
  if (w == nullptr || paint == nullptr) return nullptr;
  Session& s = *w->session;
  s.needsPaint = false;
  std::memset(paint, 0, sizeof *paint);
  paint->fErase = s.eraseOnPaint ? TRUE : FALSE;
  if (s.eraseOnPaint && w->isDialog) s.drawings.clear();
  s.eraseOnPaint = false;
  RECT client{};
  GetClientRect(w, &client);
  paint->rcPaint = client;
  paint->hdc = newDeviceContext(*w);
  return paint->hdc;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (paint == nullptr) return FALSE;
  return ReleaseDC(window, paint->hdc) != 0 ? TRUE : FALSE;
}

HDC WINAPI GetDC(HWND window) {
  VtWindow* w = live(window);
  return w != nullptr ? newDeviceContext(*w) : nullptr;
}

int WINAPI ReleaseDC(HWND, HDC deviceContext) {
  VtDeviceContext* dc = live(deviceContext);
  if (dc == nullptr) return 0;
  runtime().deviceContexts.erase(dc);
  delete dc;
  return 1;
}

HWND WINAPI WindowFromDC(HDC deviceContext) {
  VtDeviceContext* dc = live(deviceContext);
  return dc != nullptr ? dc->window : nullptr;
}

HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
  if (style != PS_SOLID) return nullptr;
  auto* pen = new VtGdiObject{VtGdiObject::Pen, color, std::max(width, 1)};
  runtime().gdiObjects.insert(pen);
  return pen;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  auto* brush = new VtGdiObject{VtGdiObject::Brush, color, 0};
  runtime().gdiObjects.insert(brush);
  return brush;
}

HGDIOBJ WINAPI SelectObject(HDC deviceContext, HGDIOBJ object) {
  VtDeviceContext* dc = live(deviceContext);
  VtGdiObject* o = live(object);
  if (dc == nullptr || o == nullptr) return nullptr;
  HGDIOBJ& slot = o->kind == VtGdiObject::Pen ? dc->pen : dc->brush;
  HGDIOBJ previous = slot;
  slot = o;
  return previous;
}

// An object still selected into a device context is not deleted.
BOOL WINAPI DeleteObject(HGDIOBJ object) {
  VtGdiObject* o = live(object);
  if (o == nullptr) return FALSE;
  if (o == &defaultPen || o == &defaultBrush) return TRUE;
  for (const VtDeviceContext* dc : runtime().deviceContexts) {
    if (dc->pen == o || dc->brush == o) return FALSE;
  }
  runtime().gdiObjects.erase(o);
  delete o;
  return TRUE;
}

BOOL WINAPI MoveToEx(HDC deviceContext, int x, int y, POINT* previous) {
  VtDeviceContext* dc = live(deviceContext);
  if (dc == nullptr) return FALSE;
  if (previous != nullptr) *previous = dc->position;
  dc->position = POINT{x, y};
  return TRUE;
}

BOOL WINAPI LineTo(HDC deviceContext, int x, int y) {
  VtDeviceContext* dc = live(deviceContext);
  if (dc == nullptr) return FALSE;
  const POINT from = dialogPoint(*dc->window, dc->position.x, dc->position.y);
  const POINT to = dialogPoint(*dc->window, x, y);
  record(*dc->window->session,
         VtDrawing{VT_DRAW_LINE, RECT{from.x, from.y, to.x, to.y}, dc->pen->color, dc->pen->width});
  dc->position = POINT{x, y};
  return TRUE;
}

int WINAPI FillRect(HDC deviceContext, const RECT* rect, HBRUSH brush) {
  VtDeviceContext* dc = live(deviceContext);
  VtGdiObject* b = live(brush);
  if (dc == nullptr || rect == nullptr || b == nullptr || b->kind != VtGdiObject::Brush) return 0;
  const POINT topLeft = dialogPoint(*dc->window, rect->left, rect->top);
  const POINT bottomRight = dialogPoint(*dc->window, rect->right, rect->bottom);
  if (bottomRight.x <= topLeft.x || bottomRight.y <= topLeft.y) return 1;
  record(*dc->window->session,
         VtDrawing{VT_DRAW_FILL, RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y},
                   b->color, 0});
  return 1;
}

// ---- Help and formatting --------------------------------------------------------------

BOOL WINAPI WinHelpA(HWND window, LPCSTR helpFile, UINT command, ULONG_PTR data) {
  if (VtHelpObserver observer = runtime().helpObserver) observer(window, helpFile, command, data);
  return TRUE;
}

int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  if (buffer == nullptr || format == nullptr) return 0;
  // wsprintfA writes at most 1024 characters and a zero.
  char formatted[1025];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(formatted, sizeof formatted, format, arguments);
  va_end(arguments);
  if (length < 0) {
    buffer[0] = '\0';
    return 0;
  }
  const size_t copied = std::min<size_t>(static_cast<size_t>(length), sizeof formatted - 1);
  std::memcpy(buffer, formatted, copied);
  buffer[copied] = '\0';
  return static_cast<int>(copied);
}

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

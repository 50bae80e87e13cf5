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

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "dialog_runtime.h"

using namespace vtplatform;

namespace vtplatform {

Runtime& runtime() {
  static Runtime instance;
  return instance;
}

VtWindow* live(HWND window) { return runtime().windows.count(window) != 0 ? window : nullptr; }

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

INT_PTR callProcedure(Session& session, UINT message, WPARAM first, LPARAM second) {
  ++session.activity;
  return session.procedure(&session.dialog, message, first, second);
}

void postTo(Session& session, HWND window, UINT message, WPARAM first, LPARAM second,
            std::string text) {
  ++session.activity;
  session.queue.push_back(Message{window, message, first, second, std::move(text)});
}

}  // namespace vtplatform

namespace {

// The border and the caption of a modal dialog window, in pixels.
const LONG borderThickness = 3;
const LONG captionHeight = 19;

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
    const bool matches = IS_INTRESOURCE(name)
                             ? table->name == nullptr &&
                                   table->id == static_cast<WORD>(reinterpret_cast<UINT_PTR>(name))
                             : table->name != nullptr && strcasecmp(table->name, name) == 0;
    if (matches) return static_cast<const VtDialogTemplate*>(table->data);
  }
  return nullptr;
}

// ---- Building and running a dialog --------------------------------------------

RECT dialogUnitsToPixels(const Session& session, short x, short y, short width, short height) {
  return RECT{mulDiv(x, session.baseUnitX, 4), mulDiv(y, session.baseUnitY, 8),
              mulDiv(x + width, session.baseUnitX, 4), mulDiv(y + height, session.baseUnitY, 8)};
}

void buildSession(Session& session, const VtDialogTemplate& layout, HWND owner, DLGPROC procedure) {
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
  session.windowRect =
      RECT{origin.x, origin.y, origin.x + session.clientWidth + 2 * borderThickness,
           origin.y + session.clientHeight + 2 * borderThickness + captionHeight};
  session.clientOrigin =
      POINT{origin.x + borderThickness, origin.y + borderThickness + captionHeight};

  session.dialog = VtWindow{&session,
                            true,
                            0,
                            "#32770",
                            layout.caption != nullptr ? layout.caption : "",
                            layout.style,
                            RECT{0, 0, session.clientWidth, session.clientHeight},
                            (layout.style & WS_DISABLED) == 0,
                            {},
                            LB_ERR};
  r.windows.insert(&session.dialog);
  for (int i = 0; i < layout.itemCount; ++i) {
    const VtDialogItemTemplate& item = layout.items[i];
    auto control = std::make_unique<VtWindow>(
        VtWindow{&session,
                 false,
                 item.id,
                 item.className != nullptr ? item.className : "STATIC",
                 item.text != nullptr ? item.text : "",
                 item.style,
                 dialogUnitsToPixels(session, item.x, item.y, item.width, item.height),
                 (item.style & WS_DISABLED) == 0,
                 {},
                 LB_ERR});
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
    const bool more =
        r.idleHandler != nullptr && r.idleHandler(&session.dialog, r.idleContext) != 0;
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

}  // namespace

extern "C" {

// ---- The modal dialog -------------------------------------------------------------

INT_PTR WINAPI DialogBoxParamA(HINSTANCE module, LPCSTR templateName, HWND owner, DLGPROC procedure,
                               LPARAM initParam) {
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
  const INT_PTR focusDefault =
      callProcedure(*session, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstControl), initParam);
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

}  // extern "C"

// The settings dialog procedure shared by the plug-ins.
//
// The procedure keeps nothing between messages. Initialisation locks the
// instance block and writes the block's address, its handle and the
// record's address into the hidden control StateHolder; every later
// paint, command and mouse handler reads them back from there. A
// handler that finds the state holder empty or unreadable (before
// initialisation has written it) leaves the host alone.
#include <cstdint>
#include <cstring>

#include "exports.h"
#include "globalblock.h"
#include "plugin.h"

namespace {

const PluginDefinition& plugin() { return vortigenPlugin; }
const char* section() { return vortigenPlugin.effectName; }

// ---- Forwarding to the host's dialog services --------------------------------------

bool hasDialogServices(const XfmDoRecord& r) {
  return r.dialogStart != nullptr && r.loadPresets != nullptr && r.presetNameCommand != nullptr &&
         r.presetListCommand != nullptr && r.addPreset != nullptr && r.deletePreset != nullptr &&
         r.drawCurve != nullptr && r.curveMouseDown != nullptr && r.curveMouseUp != nullptr &&
         r.curveDoubleClick != nullptr && r.curveMouseMove != nullptr &&
         r.setCurveScale != nullptr && r.setCurveLabels != nullptr && r.attachCurve != nullptr;
}

void setUpCurve(const XfmDoRecord& r, HWND dialog, CurveHandle curve, const CurveSetup& s) {
  r.setCurveScale(curve, s.xFactor, s.xOffset, s.xMultiplier, s.yFactor, s.yOffset, s.yMultiplier,
                  s.scaleMode);
  r.setCurveLabels(curve, s.xName, s.xUnit, s.yName, s.yUnit);
  r.attachCurve(curve, dialog, static_cast<UINT>(s.controlId), ValueReadout);
}

void drawCurves(const XfmDoRecord& r, const WORD* instance, HDC deviceContext) {
  for (int i = 0; i < plugin().curveCount; ++i) r.drawCurve(instance[i], deviceContext);
}

// Draws every curve at once through a device context of the whole dialog.
void redrawCurves(HWND dialog, const XfmDoRecord& r, const WORD* instance) {
  HDC deviceContext = GetDC(dialog);
  drawCurves(r, instance, deviceContext);
  ReleaseDC(dialog, deviceContext);
}

// ---- The state holder ---------------------------------------------------------------------

// Three unsigned decimal numbers of the platform's address width: the
// locked InstanceData, the instanceMemory handle and the record. Unsigned,
// because an address at or above 2^31 must not come back as a negative
// number, which the sign-less reader would turn into a wrong address.
// 64-bit Windows keeps long at 32 bits, so there the numbers are printed
// with the system formatter's 64-bit size prefix.
#ifdef _WIN64
using StateNumber = unsigned long long;
const char stateFormat[] = "%I64u,%I64u,%I64u";
#else
using StateNumber = unsigned long;
const char stateFormat[] = "%lu,%lu,%lu";
#endif
static_assert(sizeof(StateNumber) >= sizeof(void*), "the state holder prints whole addresses");
const int stateTextSize = 80;

StateNumber numberOf(const void* address) {
  return static_cast<StateNumber>(reinterpret_cast<uintptr_t>(address));
}

void writeState(HWND dialog, const WORD* instance, HGLOBAL instanceMemory,
                const XfmDoRecord* record) {
  char text[stateTextSize];
  wsprintfA(text, stateFormat, numberOf(instance), numberOf(instanceMemory), numberOf(record));
  SetDlgItemTextA(dialog, StateHolder, text);
}

// Reads the three numbers back, each as value * 10 + digit up to the next
// comma. Anything but three non-empty runs of digits that fit an address
// (a text nobody here wrote) reads as all zero, as an empty text does.
bool parseState(const char* text, uintptr_t (&values)[3]) {
  values[0] = values[1] = values[2] = 0;
  if (*text == '\0') return false;
  for (int field = 0; field < 3; ++field) {
    if (*text < '0' || *text > '9') return false;
    uintptr_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
      const auto digit = static_cast<uintptr_t>(*text - '0');
      if (value > (UINTPTR_MAX - digit) / 10) return false;
      value = value * 10 + digit;
    }
    values[field] = value;
    if (field < 2 && *text++ != ',') return false;
  }
  return *text == '\0';
}

bool readState(HWND dialog, DialogState& state) {
  state = DialogState{dialog, nullptr, nullptr, nullptr};
  char text[stateTextSize] = "";
  GetDlgItemTextA(dialog, StateHolder, text, stateTextSize);
  uintptr_t values[3];
  if (!parseState(text, values)) return false;
  state.instance = reinterpret_cast<WORD*>(values[0]);
  state.instanceMemory = reinterpret_cast<HGLOBAL>(values[1]);
  state.record = reinterpret_cast<XfmDoRecord*>(values[2]);
  return state.instance != nullptr && state.record != nullptr;
}

// ---- Message handlers ---------------------------------------------------------------------

// Writes the built-in presets into an empty section, key by key in order,
// and lists them.
void seedPresets(HWND dialog, const XfmDoRecord& r, const DialogDefinition& d) {
  if (r.loadPresets(dialog, section(), r.profilePath) != 0) return;
  for (int i = 0; i < d.presetCount; ++i) {
    WritePrivateProfileStringA(section(), d.presets[i].key, d.presets[i].text, r.profilePath);
  }
  r.loadPresets(dialog, section(), r.profilePath);
}

// A dialog that cannot work (no dialog definition, a host without dialog
// services, an instance block that cannot be locked) ends at once with -1
// and asks nothing of the host.
INT_PTR initialise(HWND dialog, XfmDoRecord* record) {
  const DialogDefinition* d = plugin().dialog;
  WORD* instance = nullptr;
  if (d == nullptr || record == nullptr || !hasDialogServices(*record) ||
      (instance = lockInstanceWords(*record)) == nullptr) {
    EndDialog(dialog, -1);
    return TRUE;
  }
  const XfmDoRecord& r = *record;
  r.dialogStart(dialog, 0);
  for (int i = 0; i < plugin().curveCount; ++i)
    setUpCurve(r, dialog, instance[i], d->curveSetups[i]);
  if (d->afterCurveSetup != nullptr) d->afterCurveSetup(instance);
  seedPresets(dialog, r, *d);
  writeState(dialog, instance, r.instanceMemory, record);
  redrawCurves(dialog, r, instance);
  if (r.autoAccept != AutoAcceptNone && r.showDialog == 0)
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  return TRUE;
}

void paint(HWND dialog) {
  DialogState state;
  const bool known = readState(dialog, state);
  PAINTSTRUCT ps;
  HDC deviceContext = BeginPaint(dialog, &ps);
  if (known) drawCurves(*state.record, state.instance, deviceContext);
  EndPaint(dialog, &ps);
}

void endDialog(const DialogState& state, INT_PTR result) {
  GlobalUnlock(state.instanceMemory);
  EndDialog(state.dialog, result);
}

void command(HWND dialog, WPARAM first, LPARAM second) {
  DialogState state;
  if (!readState(dialog, state)) return;
  const XfmDoRecord& r = *state.record;
  const DialogDefinition& d = *plugin().dialog;
  switch (LOWORD(first)) {
    case IDOK: {
      // Enter in the preset list picks the highlighted preset, as a double
      // click would, and keeps the dialog open.
      HWND list = GetDlgItem(dialog, PresetList);
      if (list != nullptr && GetFocus() == list) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(PresetList, LBN_DBLCLK),
                     reinterpret_cast<LPARAM>(list));
      } else {
        endDialog(state, 1);
      }
      break;
    }
    case IDCANCEL: endDialog(state, 0); break;
    case HelpButton:
      WinHelpA(dialog, d.helpFile, HELP_KEY, reinterpret_cast<ULONG_PTR>(d.helpKeyword));
      break;
    case AddPresetButton: r.addPreset(state.record, dialog, section()); break;
    case DeletePresetButton: r.deletePreset(dialog, section()); break;
    case PresetList:
      if (r.presetListCommand(state.record, dialog, section(), first, second) != 0) {
        redrawCurves(dialog, r, state.instance);
      }
      break;
    case PresetNameBox: r.presetNameCommand(dialog); break;
    default: break;
  }
}

void mouse(HWND dialog, UINT message, LPARAM second) {
  DialogState state;
  if (!readState(dialog, state)) return;
  const LONG x = static_cast<short>(LOWORD(second));
  const LONG y = static_cast<short>(HIWORD(second));
  plugin().dialog->routeMouse(state, message, x, y);
}

}  // namespace

void sendMouseToCurve(const DialogState& state, CurveHandle curve, UINT message, LONG x, LONG y) {
  const XfmDoRecord& r = *state.record;
  switch (message) {
    case WM_MOUSEMOVE: r.curveMouseMove(curve, x, y); break;
    case WM_LBUTTONDOWN: r.curveMouseDown(curve, x, y); break;
    case WM_LBUTTONUP: r.curveMouseUp(curve, x, y); break;
    case WM_LBUTTONDBLCLK: r.curveDoubleClick(curve, x, y); break;
    default: break;
  }
}

bool controlContains(HWND dialog, int id, LONG x, LONG y) {
  RECT rect;
  if (!GetWindowRect(GetDlgItem(dialog, id), &rect)) return false;
  POINT origin{0, 0};
  ClientToScreen(dialog, &origin);
  return x >= rect.left - origin.x && x <= rect.right - origin.x && y >= rect.top - origin.y &&
         y <= rect.bottom - origin.y;
}

extern "C" INT_PTR CALLBACK DIALOGMsgProc(HWND dialog, UINT message, WPARAM first, LPARAM second) {
  switch (message) {
    case WM_INITDIALOG: return initialise(dialog, reinterpret_cast<XfmDoRecord*>(second));
    case WM_PAINT: paint(dialog); return FALSE;
    case WM_CLOSE: PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); return TRUE;
    case WM_COMMAND: command(dialog, first, second); return TRUE;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK: mouse(dialog, message, second); return TRUE;
    default: return FALSE;
  }
}

// The Dynamic plug-in's settings dialog: three curves one above the other,
// Attack, Release and Chaos, each over frequency; its built-in presets;
// and the mouse routing that lets a button press pick the curve that
// receives the mouse until the next press in another frame.
#include "dialog.h"
#include "dynamic_effect.h"

namespace {

enum { attackWord = 0, releaseWord = 1, chaosWord = 2, activeCurveWord = 3, curveCount = 3 };

const int curveFrames[curveCount] = {1023, 1026, 1028};

// Frequency as a share of Fmax; attack and release levels with the neutral
// middle 8192 at 0 (-1 .. +1); chaos from 0 to 1.
const CurveSetup dynamicCurveSetups[curveCount] = {
    {1023, 1.0 / 16384, 0.0, 100, 1.0 / 8192, -1.0, 100, 0, "Frequency", "Fmax", "Attack", ""},
    {1026, 1.0 / 16384, 0.0, 100, 1.0 / 8192, -1.0, 100, 0, "Frequency", "Fmax", "Release", ""},
    {1028, 1.0 / 16384, 0.0, 100, 1.0 / 16384, 0.0, 100, 0, "Frequency", "Fmax", "Effect", ""},
};

// Moves and releases go to the Attack curve until a press lands elsewhere.
void startWithAttackCurve(WORD* instance) { instance[activeCurveWord] = 0; }

// A press inside a frame (edges included) goes to that frame's curve and
// makes it the active one; a press outside every frame changes nothing.
// Everything else goes to the active curve, wherever the pointer is.
void routeMouse(const DialogState& state, UINT message, LONG x, LONG y) {
  WORD* instance = state.instance;
  if (message == WM_LBUTTONDOWN) {
    for (int curve = 0; curve < curveCount; ++curve) {
      if (!controlContains(state.dialog, curveFrames[curve], x, y)) continue;
      sendMouseToCurve(state, instance[curve], message, x, y);
      instance[activeCurveWord] = static_cast<WORD>(curve);
      return;
    }
    return;
  }
  const WORD active = instance[activeCurveWord];
  if (active < curveCount) sendMouseToCurve(state, instance[active], message, x, y);
}

}  // namespace

extern const DialogDefinition dynamicDialog{
    "dynvtg.hlp", "Dynamic",         dynamicPresets, sizeof dynamicPresets / sizeof dynamicPresets[0],
    dynamicCurveSetups, startWithAttackCurve, routeMouse};

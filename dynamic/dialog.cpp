// The Dynamic plug-in's settings dialog: three curves one above the other,
// Attack, Release and Chaos, each over frequency; its built-in presets;
// and the mouse routing that lets a button press pick the curve that
// receives the mouse until the next press in another curve control.
#include <iterator>

#include "dialog.h"
#include "dialog_template.h"
#include "dynamic_effect.h"

namespace {

// Frequency as a share of Fmax; attack and release levels with the neutral
// middle 8192 at 0 (-1 .. +1); chaos from 0 to 1. In curve word order.
const CurveSetup dynamicCurveSetups[] = {
    {.controlId = AttackCurveControl,
     .xFactor = 1.0 / CurveFullScale,
     .xOffset = 0.0,
     .xMultiplier = 100,
     .yFactor = 1.0 / 8192,
     .yOffset = -1.0,
     .yMultiplier = 100,
     .scaleMode = CurveScaleLinear,
     .xName = "Frequency",
     .xUnit = "Fmax",
     .yName = "Attack",
     .yUnit = ""},
    {.controlId = ReleaseCurveControl,
     .xFactor = 1.0 / CurveFullScale,
     .xOffset = 0.0,
     .xMultiplier = 100,
     .yFactor = 1.0 / 8192,
     .yOffset = -1.0,
     .yMultiplier = 100,
     .scaleMode = CurveScaleLinear,
     .xName = "Frequency",
     .xUnit = "Fmax",
     .yName = "Release",
     .yUnit = ""},
    {.controlId = ChaosCurveControl,
     .xFactor = 1.0 / CurveFullScale,
     .xOffset = 0.0,
     .xMultiplier = 100,
     .yFactor = 1.0 / CurveFullScale,
     .yOffset = 0.0,
     .yMultiplier = 100,
     .scaleMode = CurveScaleLinear,
     .xName = "Frequency",
     .xUnit = "Fmax",
     .yName = "Effect",
     .yUnit = ""},
};
static_assert(std::size(dynamicCurveSetups) == std::size(dynamicCurves));
constexpr int curveCount = static_cast<int>(std::size(dynamicCurves));

// Moves and releases go to the Attack curve until a press lands elsewhere.
void startWithAttackCurve(WORD* instance) { instance[activeCurveWord] = 0; }

// A press inside a curve control (edges included) goes to that control's
// curve and makes it the active one; a press outside every one changes
// nothing.
// Everything else goes to the active curve, wherever the pointer is.
void routeMouse(const DialogState& state, UINT message, LONG x, LONG y) {
  WORD* instance = state.instance;
  if (message == WM_LBUTTONDOWN) {
    for (int curve = 0; curve < curveCount; ++curve) {
      if (!controlContains(state.dialog, dynamicCurveSetups[curve].controlId, x, y)) continue;
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

extern const DialogDefinition dynamicDialog{.helpFile = "dynvtg.hlp",
                                            .helpKeyword = "Dynamic",
                                            .presets = dynamicPresets,
                                            .presetCount = std::size(dynamicPresets),
                                            .curveSetups = dynamicCurveSetups,
                                            .afterCurveSetup = startWithAttackCurve,
                                            .routeMouse = routeMouse};

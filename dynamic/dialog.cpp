// The Dynamic plug-in's settings dialog: three curves one above the other,
// Attack, Release and Chaos, each over frequency; its built-in presets;
// and the mouse routing that lets a button press pick the curve that
// receives the mouse until the next press in another frame.
#include <iterator>

#include "dialog.h"
#include "dialog_template.h"
#include "dynamic_words.h"

namespace {

// Frequency as a share of Fmax; attack and release levels with the neutral
// middle 8192 at 0 (-1 .. +1); chaos from 0 to 1. In curve word order.
const CurveSetup dynamicCurveSetups[] = {
    {.frameId = AttackFrame,
     .xFactor = 1.0 / 16384,
     .xOffset = 0.0,
     .xMultiplier = 100,
     .yFactor = 1.0 / 8192,
     .yOffset = -1.0,
     .yMultiplier = 100,
     .scaleMode = 0,
     .xName = "Frequency",
     .xUnit = "Fmax",
     .yName = "Attack",
     .yUnit = ""},
    {.frameId = ReleaseFrame,
     .xFactor = 1.0 / 16384,
     .xOffset = 0.0,
     .xMultiplier = 100,
     .yFactor = 1.0 / 8192,
     .yOffset = -1.0,
     .yMultiplier = 100,
     .scaleMode = 0,
     .xName = "Frequency",
     .xUnit = "Fmax",
     .yName = "Release",
     .yUnit = ""},
    {.frameId = ChaosFrame,
     .xFactor = 1.0 / 16384,
     .xOffset = 0.0,
     .xMultiplier = 100,
     .yFactor = 1.0 / 16384,
     .yOffset = 0.0,
     .yMultiplier = 100,
     .scaleMode = 0,
     .xName = "Frequency",
     .xUnit = "Fmax",
     .yName = "Effect",
     .yUnit = ""},
};
static_assert(std::size(dynamicCurveSetups) == dynamicCurveCount);

// Attack levels 1742 soft, 8192 neutral, 12375 hard; release 1394 soft,
// 8192 neutral; chaos 0 off, 3834 effect, 16384 full. Every curve is flat.
const BuiltinPreset dynamicPresets[] = {
    {"Item1", "Flat (no effect),3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,0,16384,0"},
    {"Item2", "Soft Attack,3,2,0,1742,16384,1742,2,0,8192,16384,8192,2,0,0,16384,0"},
    {"Item3", "Soft Release,3,2,0,8192,16384,8192,2,0,1394,16384,1394,2,0,0,16384,0"},
    {"Item4", "Soft Dynamic,3,2,0,1742,16384,1742,2,0,1394,16384,1394,2,0,0,16384,0"},
    {"Item5", "Soft Release+Effect,3,2,0,8192,16384,8192,2,0,1394,16384,1394,2,0,3834,16384,3834"},
    {"Item6", "Soft Release+Chaos,3,2,0,8192,16384,8192,2,0,1394,16384,1394,2,0,16384,16384,16384"},
    {"Item7", "Soft Dynamic+Effect,3,2,0,1742,16384,1742,2,0,1394,16384,1394,2,0,3834,16384,3834"},
    {"Item8", "Soft Dynamic+Chaos,3,2,0,1742,16384,1742,2,0,1394,16384,1394,2,0,16384,16384,16384"},
    {"Item9", "Hard Attack,3,2,0,12375,16384,12375,2,0,8192,16384,8192,2,0,0,16384,0"},
    {"Item10", "Hard Attack Soft Release,3,2,0,12375,16384,12375,2,0,1394,16384,1394,2,0,0,16384,0"},
    {"Item11", "Effect,3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,3834,16384,3834"},
    {"Item12", "Chaos,3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,16384,16384,16384"},
};

// Moves and releases go to the Attack curve until a press lands elsewhere.
void startWithAttackCurve(WORD* instance) { instance[activeCurveWord] = 0; }

// A press inside a frame (edges included) goes to that frame's curve and
// makes it the active one; a press outside every frame changes nothing.
// Everything else goes to the active curve, wherever the pointer is.
void routeMouse(const DialogState& state, UINT message, LONG x, LONG y) {
  WORD* instance = state.instance;
  if (message == WM_LBUTTONDOWN) {
    for (int curve = 0; curve < dynamicCurveCount; ++curve) {
      if (!controlContains(state.dialog, dynamicCurveSetups[curve].frameId, x, y)) continue;
      sendMouseToCurve(state, instance[curve], message, x, y);
      instance[activeCurveWord] = static_cast<WORD>(curve);
      return;
    }
    return;
  }
  const WORD active = instance[activeCurveWord];
  if (active < dynamicCurveCount) sendMouseToCurve(state, instance[active], message, x, y);
}

}  // namespace

extern const DialogDefinition dynamicDialog{.helpFile = "dynvtg.hlp",
                                            .helpKeyword = "Dynamic",
                                            .presets = dynamicPresets,
                                            .presetCount = std::size(dynamicPresets),
                                            .curveSetups = dynamicCurveSetups,
                                            .afterCurveSetup = startWithAttackCurve,
                                            .routeMouse = routeMouse};

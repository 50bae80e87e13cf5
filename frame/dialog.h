// The settings dialog shared by the plug-ins: what a plug-in supplies to it
// (help, built-in presets, curve set-up, mouse routing) and the helpers its
// mouse routing uses. DIALOGMsgProc (exports.h) is the frame's; it keeps no
// state of its own between messages (see dialog.cpp).
#ifndef VORTIGEN_FRAME_DIALOG_H
#define VORTIGEN_FRAME_DIALOG_H

#include "built_in_preset.h"
#include "dialog_controls.h"
#include "xfm.h"

// How one curve is shown: the control it is drawn in and the readout's scale
// and labels, in the argument order of setCurveScale and setCurveLabels.
struct CurveSetup {
  int controlId;
  double xFactor;
  double xOffset;
  LONG xMultiplier;
  double yFactor;
  double yOffset;
  LONG yMultiplier;
  UINT scaleMode;
  const char* xName;
  const char* xUnit;
  const char* yName;
  const char* yUnit;
};

// What a handler knows once it has read the state holder.
struct DialogState {
  HWND dialog;
  WORD* instance;  // the locked InstanceData
  HGLOBAL instanceMemory;
  XfmDoRecord* record;
};

struct DialogDefinition {
  const char* helpFile;
  const char* helpKeyword;
  const BuiltInPreset* presets;
  int presetCount;
  // One per curve word, in word order (PluginDefinition::curveCount).
  const CurveSetup* curveSetups;
  // After the curves are set up; may be null.
  void (*afterCurveSetup)(WORD* instance);
  // WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP or WM_LBUTTONDBLCLK at
  // client coordinates (x, y).
  void (*routeMouse)(const DialogState& state, UINT message, LONG x, LONG y);
};

// Hands a mouse message to a curve: curveMouseMove, curveMouseDown,
// curveMouseUp or curveDoubleClick.
void sendMouseToCurve(const DialogState& state, CurveHandle curve, UINT message, LONG x, LONG y);

// Whether client point (x, y) lies in the window rectangle of control id,
// edges included.
bool controlContains(HWND dialog, int id, LONG x, LONG y);

#endif

// The Fourier plug-in's settings dialog: the one transfer curve, input
// level (Source) against output level (Dest); its built-in presets; and
// mouse routing that hands everything to that curve.
#include "dialog.h"
#include "fourier_effect.h"

namespace {

enum { transferWord = 0 };

// Both levels from 0 to 1 of the loudest bin, shown in decibels.
const CurveSetup fourierCurveSetups[] = {
    {1023, 1.0 / 16384, 0.0, 100, 1.0 / 16384, 0.0, 100, 1, "Input Sample", "dB", "Output Sample",
     "dB"},
};

// No hit test: the host decides what a click outside the frame means.
void routeMouse(const DialogState& state, UINT message, LONG x, LONG y) {
  sendMouseToCurve(state, state.instance[transferWord], message, x, y);
}

}  // namespace

extern const DialogDefinition fourierDialog{
    "ffvtg.hlp", "Fourier",          fourierPresets, sizeof fourierPresets / sizeof fourierPresets[0],
    fourierCurveSetups, nullptr, routeMouse};

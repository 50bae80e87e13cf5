// The Fourier plug-in's settings dialog: the one transfer curve, input
// level (Source) against output level (Dest); its built-in presets; and
// mouse routing that hands everything to that curve.
#include "dialog.h"

namespace {

enum { transferWord = 0 };

// Both levels from 0 to 1 of the loudest bin, shown in decibels.
const CurveSetup fourierCurveSetups[] = {
    {1023, 1.0 / 16384, 0.0, 100, 1.0 / 16384, 0.0, 100, 1, "Input Sample", "dB", "Output Sample",
     "dB"},
};

const BuiltinPreset fourierPresets[] = {
    {"Item1", "No Effect,3,2,0,0,16384,16384"},
    {"Item2", "Light Sound,3,3,0,0,11969,4740,16384,16384"},
    {"Item3", "Poor Sound,3,3,0,0,14336,2163,16384,16384"},
    {"Item4", "Only 1,3,3,0,0,16065,0,16384,16384"},
    {"Item5",
     "Five,3,15,0,0,9739,0,10194,9686,10558,0,11195,0,11741,11386,12105,0,12652,0,13334,13292,"
     "13789,0,14336,0,14836,14838,15291,0,16065,0,16384,16384"},
    {"Item6", "Hay Fever,3,4,0,0,4915,721,11468,15765,16384,16384"},
};

// No hit test: the host decides what a click outside the frame means.
void routeMouse(const DialogState& state, UINT message, LONG x, LONG y) {
  sendMouseToCurve(state, state.instance[transferWord], message, x, y);
}

}  // namespace

extern const DialogDefinition fourierDialog{
    "ffvtg.hlp", "Fourier",          fourierPresets, sizeof fourierPresets / sizeof fourierPresets[0],
    fourierCurveSetups, nullptr, routeMouse};

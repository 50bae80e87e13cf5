// The Fourier plug-in's settings dialog: the one transfer curve, input
// level (Source) against output level (Dest); its built-in presets; and
// mouse routing that hands everything to that curve.
#include <iterator>

#include "dialog.h"
#include "dialog_template.h"
#include "fourier_words.h"

namespace {

// Both levels from 0 to 1 of the loudest bin, shown in decibels.
const CurveSetup fourierCurveSetups[] = {
    {.frameId = TransferFrame,
     .xFactor = 1.0 / 16384,
     .xOffset = 0.0,
     .xMultiplier = 100,
     .yFactor = 1.0 / 16384,
     .yOffset = 0.0,
     .yMultiplier = 100,
     .scaleMode = 1,
     .xName = "Input Sample",
     .xUnit = "dB",
     .yName = "Output Sample",
     .yUnit = "dB"},
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

extern const DialogDefinition fourierDialog{.helpFile = "ffvtg.hlp",
                                            .helpKeyword = "Fourier",
                                            .presets = fourierPresets,
                                            .presetCount = std::size(fourierPresets),
                                            .curveSetups = fourierCurveSetups,
                                            .afterCurveSetup = nullptr,
                                            .routeMouse = routeMouse};

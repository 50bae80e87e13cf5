// The Fourier plug-in's settings dialog: the one transfer curve, input
// level (Source) against output level (Dest); its built-in presets; and
// mouse routing that hands everything to that curve.
#include <iterator>

#include "dialog.h"
#include "dialog_template.h"
#include "fourier_effect.h"

namespace {

// Both levels from 0 to 1 of the loudest bin, shown in decibels.
const CurveSetup fourierCurveSetups[] = {
    {.controlId = TransferCurveControl,
     .xFactor = 1.0 / CurveFullScale,
     .xOffset = 0.0,
     .xMultiplier = 100,
     .yFactor = 1.0 / CurveFullScale,
     .yOffset = 0.0,
     .yMultiplier = 100,
     .scaleMode = CurveScaleDecibels,
     .xName = "Input Sample",
     .xUnit = "dB",
     .yName = "Output Sample",
     .yUnit = "dB"},
};
static_assert(std::size(fourierCurveSetups) == std::size(fourierCurves));

// No hit test: the host decides what a click outside the curve control means.
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

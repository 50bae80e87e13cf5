// The Fourier effect's constants, stated once for the plug-in library and
// the engine: its names, its one curve, its built-in presets, and its
// spectral stage (fourier.cpp).
#ifndef VORTIGEN_FOURIER_FOURIER_EFFECT_H
#define VORTIGEN_FOURIER_FOURIER_EFFECT_H

#include "dialog.h"
#include "hostcalls.h"
#include "stage.h"

inline constexpr const char* fourierEffectName = "Vortigens\\Fourier";
inline constexpr const char* fourierDescription = "Adds Pure Sound Effect";

// InstanceData: one 16-bit word, the transfer curve's handle.
enum FourierWord { transferWord = 0 };

// The word the curve is known by outside the plug-in.
inline constexpr const char* fourierCurveNames[] = {"transfer"};

// The diagonal: every output level equals its input level.
inline constexpr CurveShape fourierCurves[] = {{0, 16384, 0, 16384, 0, 16384}};

inline constexpr BuiltInPreset fourierPresets[] = {
    {"Item1", "No Effect,3,2,0,0,16384,16384"},
    {"Item2", "Light Sound,3,3,0,0,11969,4740,16384,16384"},
    {"Item3", "Poor Sound,3,3,0,0,14336,2163,16384,16384"},
    {"Item4", "Only 1,3,3,0,0,16065,0,16384,16384"},
    {"Item5",
     "Five,3,15,0,0,9739,0,10194,9686,10558,0,11195,0,11741,11386,12105,0,12652,0,13334,13292,"
     "13789,0,14336,0,14836,14838,15291,0,16065,0,16384,16384"},
    {"Item6", "Hay Fever,3,4,0,0,4915,721,11468,15765,16384,16384"},
};

extern const SpectralStage fourierStage;

#endif

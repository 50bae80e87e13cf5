// The Dynamic effect's constants, stated once for the plug-in library and
// the engine: its names, its curves (one per instance word, from word 0
// on), their built-in presets, and its spectral stage (dynamic.cpp).
#ifndef VORTIGEN_DYNAMIC_DYNAMIC_EFFECT_H
#define VORTIGEN_DYNAMIC_DYNAMIC_EFFECT_H

#include "dialog.h"
#include "hostcalls.h"
#include "stage.h"

inline constexpr const char* dynamicEffectName = "Vortigens\\Dynamic";
inline constexpr const char* dynamicDescription = "Dynamic and Chaos Effects";

// InstanceData: four 16-bit words. The three curve handles come first, in
// the order XfmInit creates the curves and presets carry them; the fourth
// says which curve the dialog's mouse input goes to (0, 1 or 2) and is not
// carried by presets.
enum DynamicWord { attackWord = 0, releaseWord = 1, chaosWord = 2, activeCurveWord = 3 };

// The words the curves are known by outside the plug-in.
inline constexpr const char* dynamicCurveNames[] = {"attack", "release", "chaos"};

// Attack and release start flat at the middle (no effect), chaos flat at 0.
inline constexpr CurveShape dynamicCurves[] = {
    {0, 16384, 0, 16384, 8192, 8192},
    {0, 16384, 0, 16384, 8192, 8192},
    {0, 16384, 0, 16384, 0, 0},
};

// Attack levels 1742 soft, 8192 neutral, 12375 hard; release 1394 soft,
// 8192 neutral; chaos 0 off, 3834 effect, 16384 full. Every curve is flat.
inline constexpr BuiltInPreset dynamicPresets[] = {
    {"Item1", "Flat (no effect),3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,0,16384,0"},
    {"Item2", "Soft Attack,3,2,0,1742,16384,1742,2,0,8192,16384,8192,2,0,0,16384,0"},
    {"Item3", "Soft Release,3,2,0,8192,16384,8192,2,0,1394,16384,1394,2,0,0,16384,0"},
    {"Item4", "Soft Dynamic,3,2,0,1742,16384,1742,2,0,1394,16384,1394,2,0,0,16384,0"},
    {"Item5", "Soft Release+Effect,3,2,0,8192,16384,8192,2,0,1394,16384,1394,2,0,3834,16384,3834"},
    {"Item6", "Soft Release+Chaos,3,2,0,8192,16384,8192,2,0,1394,16384,1394,2,0,16384,16384,16384"},
    {"Item7", "Soft Dynamic+Effect,3,2,0,1742,16384,1742,2,0,1394,16384,1394,2,0,3834,16384,3834"},
    {"Item8", "Soft Dynamic+Chaos,3,2,0,1742,16384,1742,2,0,1394,16384,1394,2,0,16384,16384,16384"},
    {"Item9", "Hard Attack,3,2,0,12375,16384,12375,2,0,8192,16384,8192,2,0,0,16384,0"},
    {"Item10",
     "Hard Attack Soft Release,3,2,0,12375,16384,12375,2,0,1394,16384,1394,2,0,0,16384,0"},
    {"Item11", "Effect,3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,3834,16384,3834"},
    {"Item12", "Chaos,3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,16384,16384,16384"},
};

extern const SpectralStage dynamicStage;

#endif

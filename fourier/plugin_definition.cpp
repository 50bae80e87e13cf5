// The Fourier plug-in library's definition: the effect's constants, its
// descriptor values and its settings dialog (dialog.cpp).
#include <iterator>

#include "fourier_effect.h"
#include "plugin.h"

extern const DialogDefinition fourierDialog;

const PluginDefinition vortigenPlugin{.effectName = fourierEffectName,
                                      .maker = vortigenMaker,
                                      .description = fourierDescription,
                                      .featureWord = XfmFeatureWord,
                                      .featureFlags = XfmFeatureFlags,
                                      .instanceDataSize = 2,
                                      .instanceWordTypes = "g",
                                      .instanceWordSaved = "y",
                                      .curves = fourierCurves,
                                      .curveCount = std::size(fourierCurves),
                                      .stage = &fourierStage,
                                      .dialog = &fourierDialog};

// The Dynamic plug-in library's definition: the effect's constants, its
// descriptor values and its settings dialog (dialog.cpp).
#include <iterator>

#include "dynamic_effect.h"
#include "plugin.h"

extern const DialogDefinition dynamicDialog;

const PluginDefinition vortigenPlugin{.effectName = dynamicEffectName,
                                      .maker = vortigenMaker,
                                      .description = dynamicDescription,
                                      .featureWord = XfmFeatureWord,
                                      .featureFlags = XfmFeatureFlags,
                                      .instanceDataSize = 8,
                                      .instanceWordTypes = "gggi",
                                      .instanceWordSaved = "yyyn",
                                      .curves = dynamicCurves,
                                      .curveCount = std::size(dynamicCurves),
                                      .stage = &dynamicStage,
                                      .dialog = &dynamicDialog};

// Dynamic's InstanceData: four 16-bit words. The three curve handles come
// first, in the order XfmInit creates the curves and presets carry them;
// the fourth says which curve the dialog's mouse input goes to (0, 1 or 2)
// and is not carried by presets.
#ifndef VORTIGEN_DYNAMIC_DYNAMIC_WORDS_H
#define VORTIGEN_DYNAMIC_DYNAMIC_WORDS_H

enum DynamicWord { attackWord = 0, releaseWord = 1, chaosWord = 2, activeCurveWord = 3 };

constexpr int dynamicCurveCount = 3;

#endif

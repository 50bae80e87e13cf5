// What a plug-in library supplies to the shared frame: its descriptor
// values, its curves and its spectral stage. Each plug-in ends in one
// PluginDefinition named vortigenPlugin; the frame's exports serve it.
#ifndef VORTIGEN_FRAME_PLUGIN_H
#define VORTIGEN_FRAME_PLUGIN_H

#include "hostcalls.h"
#include "stage.h"

struct PluginDefinition {
  // Descriptor values, as QueryXfm writes them.
  const char* effectName;
  const char* maker;
  const char* description;
  WORD featureWord;
  DWORD featureFlags;
  DWORD instanceDataSize;
  const char* instanceWordTypes;
  const char* instanceWordSaved;

  // The curves XfmInit creates, one per curve word, from word 0 on.
  const CurveShape* curves;
  int curveCount;

  const SpectralStage* stage;
};

extern const PluginDefinition vortigenPlugin;

#endif

// What a plug-in library supplies to the shared frame: its descriptor
// values, its curves, its spectral stage and its settings dialog. Each
// plug-in library holds one PluginDefinition named vortigenPlugin, written
// with designated initialisers; the frame's exports serve it.
#ifndef VORTIGEN_FRAME_PLUGIN_H
#define VORTIGEN_FRAME_PLUGIN_H

#include "dialog.h"
#include "hostcalls.h"
#include "stage.h"

// The maker both plug-ins name in their descriptor.
inline constexpr const char* vortigenMaker = "Orbelline";

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

  // The settings dialog; a plug-in without one ends XfmSetup with -1.
  const DialogDefinition* dialog = nullptr;
};

extern const PluginDefinition vortigenPlugin;

#endif

// The engine path of the effect command: the input streamed through the
// float engine in blocks, any depth, rate and channel count, the output
// float and unclipped until it meets an integer file.
#ifndef VORTIGEN_TOOL_ENGINE_PATH_H
#define VORTIGEN_TOOL_ENGINE_PATH_H

#include <cstdint>
#include <string>

#include "sound_stream.h"
#include "vortigen_commands.h"
#include "vortigen_plugins.h"

namespace vortigen {

struct EngineRun {
  const EffectRun& run;
  const EffectCommand& effect;
  const RunSettings& settings;
  vtmedia::SoundReader& reader;
  vtmedia::SoundWriter& writer;
  int64_t first;  // the selection, sample frames
  int64_t end;    // not included
  bool showProgress;
};

// Writes the whole output: the input before the selection, the selection
// processed, the rest. Returns false when interrupted (with --keep-partial
// the rest is then the input). `clipped` gets the samples the output
// clipped.
bool throughEngine(const EngineRun& r, int64_t& clipped);

}  // namespace vortigen

#endif

// The engine over a range of a sound: one run from the range's first sample
// frame to its last, the output aligned with the input (the engine's latency
// left out, its finish() written at the end). The tool's engine path and
// the studio's previews both run the engine through here.
#ifndef VORTIGEN_ENGINE_RANGE_H
#define VORTIGEN_ENGINE_RANGE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine.h"

namespace vtengine {

// The settings for a sound of this shape: bitsPerSample 8 puts the curves
// on the plug-ins' 8-bit scale, every other depth (0 for float samples) on
// the 16-bit one, as integerScaleForBits says.
EngineSettings settingsForSound(Effect effect, const std::vector<PointList>& curves,
                                double sampleRate, int channels, int bitsPerSample);

struct RangeRun {
  int64_t frames = 0;  // input sample frames of the range
  // Sample frames handed to read at a time, the last read shorter; at least 1.
  std::size_t blockFrames = 8192;
  // Fills `count` sample frames of each channel's plane with input sample
  // frames `at`.. of the range (at counts from the range's start), on the float scale
  // (1.0 full scale). Returns false when no more input can come: the run
  // stops there as when `stop` says so.
  std::function<bool(int64_t at, float* const* planes, std::size_t count)> read;
  // Takes output sample frames `at`.. of the range: output sample frame i
  // is input sample frame i processed. Called once after each read, with at
  // most as many sample frames as that read gave, and once at the end with the rest.
  std::function<void(int64_t at, const float* const* planes, std::size_t count)> write;
  // Asked between blocks; true stops the run. Empty: never stops.
  std::function<bool()> stop;
  // After each block: input sample frames of the range done so far.
  std::function<void(int64_t done)> progress;
};

// Makes an engine with these settings and runs it over the range. Returns
// true when the whole range was written, false when stopped early (what
// was written before stays written; the rest is not). Throws EngineError
// for settings the engine cannot use, and whatever read or write throw.
bool processRange(const EngineSettings& settings, const RangeRun& run);

}  // namespace vtengine

#endif

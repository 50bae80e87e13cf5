// A plug-in for testing the frame: the shared exports and streaming
// skeleton with a stage whose transform a test chooses (leave the frame,
// silence it, scale it) and which remembers what it was given.
#include <cstring>

#include "exports.h"
#include "plugin.h"
#include "probe_control.h"

namespace {

ProbeMode mode = ProbeMode::Identity;
float gain = 1.0f;
ProbeStats stats{};
float lastFrame[2][1024];

const int ownMarkerFloats = 4;
const float ownMarker = 1234.5f;

int ownFloats(int) { return ownMarkerFloats; }

// Like the real stages: a table block of its own, the instance block
// locked, one curve value per call.
bool prepareTables(const XfmDoRecord& record, const FrameGeometry&, LockedBlock& tables) {
  if (!obtainLockedBlock(sizeof(double), tables)) return false;
  const WORD* words = lockInstanceWords(record);
  if (words == nullptr) {
    releaseLockedBlock(tables);
    return false;
  }
  *static_cast<double*>(tables.address) = hostCurveValue(record, words[0], 0.5);
  return true;
}

void prepareWorkingArea(const FrameGeometry&, const void*, float* own) {
  for (int i = 0; i < ownMarkerFloats; ++i) own[i] = ownMarker;
}

void transformFrame(const StageFrames& frames, bool firstFrame) {
  const FrameGeometry& g = frames.geometry;
  ++stats.transforms;
  if (firstFrame) {
    ++stats.firstFrames;
    stats.firstFrameTransform = stats.transforms;
  }
  for (int i = 0; i < ownMarkerFloats; ++i) {
    if (frames.own[i] != ownMarker) ++stats.ownBufferDamage;
  }
  stats.channels = g.channels;
  stats.n = g.n;
  for (int ch = 0; ch < g.channels; ++ch) {
    std::memcpy(lastFrame[ch], frames.frame[ch], sizeof(float) * g.n);
    float* frame = frames.frame[ch];
    switch (mode) {
      case ProbeMode::Identity: break;
      case ProbeMode::Silence:
        for (int i = 0; i < g.n; ++i) frame[i] = 0.0f;
        break;
      case ProbeMode::Gain:
        for (int i = 0; i < g.n; ++i) frame[i] *= gain;
        break;
    }
  }
}

void releaseTables(LockedBlock& tables) { releaseLockedBlock(tables); }

const SpectralStage probeStage{ownFloats,          nullptr,        prepareTables,
                               prepareWorkingArea, transformFrame, releaseTables};

const CurveShape probeCurves[] = {{0, 16384, 0, 16384, 0, 16384}};

}  // namespace

const PluginDefinition vortigenPlugin{"Vortigens\\Probe", "Orbelline", "Frame probe", 15, 29, 2,
                                      "g", "y", probeCurves, 1, &probeStage};

extern "C" {

VORTIGEN_EXPORT void probeConfigure(ProbeMode newMode, float newGain) {
  mode = newMode;
  gain = newGain;
  stats = ProbeStats{};
}

VORTIGEN_EXPORT void probeStats(ProbeStats* out) { *out = stats; }

VORTIGEN_EXPORT void probeLastFrame(int channel, float* out, int n) {
  std::memcpy(out, lastFrame[channel], sizeof(float) * n);
}

}  // extern "C"

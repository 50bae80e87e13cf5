// A plug-in for testing the frame: the shared exports and streaming
// skeleton with a stage whose transform a test chooses (leave the frame,
// silence it, scale it) and which remembers what it was given.
#include <cstring>
#include <iterator>

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

// Like the real stages: tables of its own, one curve value per call.
void fillTables(const CurveSampler& curves, void* tables) {
  *static_cast<double*>(tables) = sampleCurve(curves, 0, 0.5);
}

void prepareWorkingArea(const FrameGeometry&, float* own) {
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

const SpectralStage probeStage{.ownFloats = ownFloats,
                               .workingAreaBytes = nullptr,
                               .tableBytes = sizeof(double),
                               .fillTables = fillTables,
                               .prepareWorkingArea = prepareWorkingArea,
                               .transformFrame = transformFrame,
                               .analyseFrame = nullptr,
                               .carryFrame = nullptr,
                               .synthesiseFrame = nullptr};

const CurveShape probeCurves[] = {{0, 16384, 0, 16384, 0, 16384}};

}  // namespace

const PluginDefinition vortigenPlugin{.effectName = "Vortigens\\Probe",
                                      .maker = vortigenMaker,
                                      .description = "Frame probe",
                                      .featureWord = 15,
                                      .featureFlags = 29,
                                      .instanceDataSize = 2,
                                      .instanceWordTypes = "g",
                                      .instanceWordSaved = "y",
                                      .curves = probeCurves,
                                      .curveCount = std::size(probeCurves),
                                      .stage = &probeStage};

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

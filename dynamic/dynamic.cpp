// The dynamic plug-in, "Dynamic and Chaos Effects": per frequency bin an
// envelope follows the magnitude from frame to frame; the Attack and
// Release curves exaggerate ("Hard") or smooth ("Soft") its rises and
// falls, and the Chaos curve shifts each bin's phase by its envelope.
#include "dynamic_effect.h"
#include "envelope_rule.h"
#include "nsp.h"
#include "working_area.h"

namespace {

// ---- Tables from the curves ---------------------------------------------------------

// One entry per spectral bin of the longest frame (N = 1024: bins 0..512);
// shorter frames use the left part of each curve.
constexpr int curveEntries = 513;

struct CurveTables {
  float attack[curveEntries];
  float release[curveEntries];
  float chaos[curveEntries];
};
static_assert(sizeof(CurveTables) == 6156);

// Attack and release: (v - 8192) / 8256, so that the extremes stay short of
// +-1; chaos: v / 16384.
constexpr double coefficientScale = 1.0 / 8256;
constexpr double chaosScale = 1.0 / CurveFullScale;
constexpr double positionStep = 0.001953125;  // 1/512

void fillTables(const CurveSampler& curves, void* tables) {
  auto* t = static_cast<CurveTables*>(tables);
  // The host sees attack, release and chaos for each position in turn.
  for (int k = 0; k < curveEntries; ++k) {
    const double position = k * positionStep;
    const double attack = sampleCurve(curves, attackWord, position);
    const double release = sampleCurve(curves, releaseWord, position);
    const double chaos = sampleCurve(curves, chaosWord, position);
    t->attack[k] = static_cast<float>((attack - 8192.0) * coefficientScale);
    t->release[k] = static_cast<float>((release - 8192.0) * coefficientScale);
    t->chaos[k] = static_cast<float>(chaos * chaosScale);
  }
}

// ---- Buffers in the working area ----------------------------------------------------------

// analysisWindow (N), inverseWindow (N), then an envelope of N + 2 floats
// per channel.
struct DynamicBuffers {
  float* analysisWindow;
  float* inverseWindow;
  float* envelope[2];
};

DynamicBuffers buffersIn(float* own, int n) {
  return DynamicBuffers{own, own + n, {own + 2 * n, own + 3 * n + 2}};
}

int ownFloats(int n) { return 4 * n + 4; }

SIZE_T workingAreaBytes(int n) { return dynamicWorkingAreaBytes(static_cast<SIZE_T>(n)); }

// The Bartlett window lifted by 0.1, so that it never reaches 0 and can be
// divided out again after resynthesis.
void prepareWorkingArea(const FrameGeometry& g, float* own) {
  const DynamicBuffers b = buffersIn(own, g.n);
  nspsbSet(1.0f, b.analysisWindow, g.n);
  nspsWinBartlett(b.analysisWindow, g.n);
  for (int i = 0; i < g.n; ++i) {
    b.analysisWindow[i] = b.analysisWindow[i] + 0.1f;
    b.inverseWindow[i] = 1.0f / b.analysisWindow[i];
  }
}

// ---- Frame transform ----------------------------------------------------------------------

// During the transform each frame buffer holds the bins' magnitudes in its
// first H + 1 floats and their phases in the next H + 1.
float* phasesOf(const StageFrames& frames, int ch) {
  return frames.frame[ch] + frames.geometry.h + 1;
}

// Windowed, transformed, and in polar form: depends on the frame alone.
void analyseFrame(const StageFrames& frames) {
  const FrameGeometry& g = frames.geometry;
  const DynamicBuffers b = buffersIn(frames.own, g.n);
  for (int ch = 0; ch < g.channels; ++ch) nspsbMpy2(b.analysisWindow, frames.frame[ch], g.n);
  forwardTransformFrames(frames);
  for (int ch = 0; ch < g.channels; ++ch) {
    nspcbCartToPolar(frames.spectrum[ch], frames.frame[ch], phasesOf(frames, ch), g.h + 1);
  }
}

// The envelope of each bin follows the frame's magnitudes: the state that
// passes from frame to frame.
void carryFrame(const StageFrames& frames, bool firstFrame) {
  const FrameGeometry& g = frames.geometry;
  const int bins = g.h + 1;
  const DynamicBuffers b = buffersIn(frames.own, g.n);
  const auto* t = static_cast<const CurveTables*>(frames.tables);
  if (firstFrame) {
    for (int ch = 0; ch < g.channels; ++ch) nspsbSet(0.0f, b.envelope[ch], g.h + 2);
  }
  // Each bin of each channel depends only on its own values, so the
  // channels may take their turns one after the other.
  for (int ch = 0; ch < g.channels; ++ch) {
    float* magnitude = frames.frame[ch];
    float* envelope = b.envelope[ch];
    float* phase = phasesOf(frames, ch);
    const float magnitudeFloor = nspsMax(magnitude, bins) * 0.01f;
    for (int k = 0; k < bins; ++k) {
      const BinState next =
          followEnvelope(magnitude[k], envelope[k], magnitudeFloor, t->attack[k], t->release[k]);
      magnitude[k] = next.magnitude;
      envelope[k] = next.envelope;
      phase[k] = phase[k] + chaosShift(t->chaos[k], next.envelope);
    }
  }
}

// Back to samples, the window divided out: depends on the frame alone.
void synthesiseFrame(const StageFrames& frames) {
  const FrameGeometry& g = frames.geometry;
  const int bins = g.h + 1;
  const DynamicBuffers b = buffersIn(frames.own, g.n);
  // A release coefficient near +1 can drive a magnitude below zero: the
  // bin is silenced.
  for (int ch = 0; ch < g.channels; ++ch) nspsbThresh1(frames.frame[ch], bins, 0.0f, 0);
  for (int ch = 0; ch < g.channels; ++ch) {
    nspcbPolarToCart(frames.frame[ch], phasesOf(frames, ch), frames.spectrum[ch], bins);
  }
  for (int ch = 0; ch < g.channels; ++ch) {
    nspsCcsFftNip(frames.spectrum[ch], frames.frame[ch], g.order, NSP_FftInverse);
  }
  for (int ch = 0; ch < g.channels; ++ch) nspsbMpy2(b.inverseWindow, frames.frame[ch], g.n);
}

void transformFrame(const StageFrames& frames, bool firstFrame) {
  analyseFrame(frames);
  carryFrame(frames, firstFrame);
  synthesiseFrame(frames);
}

}  // namespace

extern const SpectralStage dynamicStage{.ownFloats = ownFloats,
                                        .workingAreaBytes = workingAreaBytes,
                                        .tableBytes = sizeof(CurveTables),
                                        .fillTables = fillTables,
                                        .prepareWorkingArea = prepareWorkingArea,
                                        .transformFrame = transformFrame,
                                        .analyseFrame = analyseFrame,
                                        .carryFrame = carryFrame,
                                        .synthesiseFrame = synthesiseFrame};
